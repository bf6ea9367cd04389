// Runs a shell command for the tests that drive the programs from outside.
#pragma once

#include <array>
#include <cstdio>
#include <string>

// The command's standard output; *pStatus gets its wait status.
inline std::string RunCommand(const std::string& cmd, int* pStatus) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    *pStatus = ::pclose(p);
    return out;
}
