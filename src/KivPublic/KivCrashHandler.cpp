#include "KivCrashHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "KivLog.h"
#include "platform/KivPlatform.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr unsigned kDumpSeconds = 10;  // a dump that hangs (a lock held by the crashed thread) is cut short
std::atomic<bool> g_installed{false};
std::atomic<bool> g_inHandler{false};
char g_dumpPath[4096];
alignas(16) char g_altStack[64 * 1024];

void WriteStr(int fd, const char* s) {
    size_t n = std::strlen(s);
    while (n) {
        ssize_t w = ::write(fd, s, n);
        if (w <= 0) return;
        s += w;
        n -= static_cast<size_t>(w);
    }
}

void CopyMaps(int fd) {
    int in = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (in < 0) return;
    char buf[4096];
    ssize_t r;
    while ((r = ::read(in, buf, sizeof(buf))) > 0)
        if (::write(fd, buf, static_cast<size_t>(r)) != r) break;
    ::close(in);
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
    if (!g_inHandler.exchange(true)) {
        ::alarm(kDumpSeconds);
        KivLogA(0, "Kiv Dmp crush");
        int fd = ::open(g_dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            KivLogA(0, "Kiv Dmp crush wsDumpName = %s", g_dumpPath);
            char head[160];
            std::snprintf(head, sizeof(head), "signal %d (%s) code %d address %p pid %d\n\nbacktrace:\n", sig,
                          strsignal(sig), info ? info->si_code : 0, info ? info->si_addr : nullptr,
                          static_cast<int>(::getpid()));
            WriteStr(fd, head);
            void* frames[128];
            int n = ::backtrace(frames, 128);
            ::backtrace_symbols_fd(frames, n, fd);
            WriteStr(fd, "\nmaps:\n");
            CopyMaps(fd);
            ::close(fd);
        }
    }
    // SA_RESETHAND restored the default action: raising again ends the process as the signal would.
    ::raise(sig);
}

}  // namespace

std::string KivDumpDir() {
    std::string dir = KivGetExeDir();
    if (!dir.empty() && ::access(dir.c_str(), W_OK) == 0) return dir;
    return KivGetLogDir();
}

void KivInstallCrashHandler() {
    if (g_installed.exchange(true)) return;
    std::snprintf(g_dumpPath, sizeof(g_dumpPath), "%s/%s", KivDumpDir().c_str(), KIV_DUMP_FILE);
    // Loads the unwinder now: the first backtrace() call may allocate, which a handler must not.
    void* warm[2];
    ::backtrace(warm, 2);
    stack_t ss{};
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof(g_altStack);
    ::sigaltstack(&ss, nullptr);  // a stack overflow still gets its dump
    struct sigaction sa{};
    sa.sa_sigaction = OnFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals) ::sigaction(s, &sa, nullptr);
}
