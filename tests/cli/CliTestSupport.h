// Running the built undelia-cli from the tests: exit status, stdout and stderr of one run.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KivShellRun.h"

using CliRun = ShellRun;

inline std::string CliReadText(const std::string& path) { return ShellReadText(path); }

inline size_t CliLines(const std::string& s) {
    size_t n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

// Runs undelia-cli with the arguments; stdout and stderr go to files in strWorkDir (so stderr is
// no terminal). With nInterruptMs > 0 a SIGINT is sent after that long. env holds extra
// "NAME=value" settings for the child. pszProgram: undelia-cli, or the test build with its hooks
// (kCliHooked).
constexpr const char* kCliHooked = KIV_BIN_DIR "/undelia-cli-hooked";
inline CliRun KivRunCli(const std::vector<std::string>& args, const std::string& strWorkDir, int nInterruptMs = 0,
                        const std::vector<std::string>& env = {}, const char* pszProgram = KIV_BIN_DIR "/undelia-cli") {
    std::string outPath = strWorkDir + "/cli.out", errPath = strWorkDir + "/cli.err";
    pid_t pid = ::fork();
    if (pid == 0) {
        int fo = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int fe = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fo, 1);
        ::dup2(fe, 2);
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv{const_cast<char*>(pszProgram)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (nInterruptMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(nInterruptMs));
        ::kill(pid, SIGINT);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliRun r;
    r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = CliReadText(outPath);
    r.err = CliReadText(errPath);
    return r;
}

// Settings that make undelia-cli read an image as a medium without holes, as a disk reads: every
// sector of it is read, also where the file is sparse.
inline std::vector<std::string> KivNoHolesEnv(const std::string& strImage) {
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    return {"LD_PRELOAD=" KIV_FAULT_SHIM, "KIV_FAULT_FILE=" + strImage, "ASAN_OPTIONS=" + asan + ":verify_asan_link_order=0"};
}

// Runs undelia-cli with stderr on a terminal (a pseudo-terminal the test reads), as a user at a
// console sees it: the live status lines. stdout goes to a file in strWorkDir. r.err holds what
// the terminal showed.
inline CliRun KivRunCliOnTerminal(const std::vector<std::string>& args, const std::string& strWorkDir) {
    std::string outPath = strWorkDir + "/cli.out";
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        int fo = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fo, 1);
        std::vector<char*> argv{const_cast<char*>(KIV_BIN_DIR "/undelia-cli")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    CliRun r;
    if (pid < 0) return r;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
        if (n > 0) r.err.append(buf, static_cast<size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = CliReadText(outPath);
    return r;
}
