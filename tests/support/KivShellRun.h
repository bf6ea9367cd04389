// Running shell commands from the tests: exit status, stdout and stderr of one run.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

struct ShellRun {
    int nExit = -1;
    std::string out;
    std::string err;
};

inline std::string ShellReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs cmd under /bin/sh with stdout and stderr kept in files of strWorkDir.
inline ShellRun ShellRunIn(const std::string& strWorkDir, const std::string& cmd) {
    std::string o = strWorkDir + "/sh.out", e = strWorkDir + "/sh.err";
    int status = std::system(("(" + cmd + ") >'" + o + "' 2>'" + e + "'").c_str());
    ShellRun r;
    r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    r.out = ShellReadText(o);
    r.err = ShellReadText(e);
    return r;
}

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
