// Runs a shell command for the tests that drive the programs from outside.
#pragma once

#include <array>
#include <cstdio>
#include <string>

#ifdef _WIN32
// A Windows command's status is its exit code.
#ifndef WIFEXITED
#define WIFEXITED(s) true
#endif
#ifndef WEXITSTATUS
#define WEXITSTATUS(s) (s)
#endif
#else
#include <sys/wait.h>
#endif

// The exit code within a status RunCommand gave, or -1 when the command did not end by itself.
inline int KivExitCode(int status) {
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

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
