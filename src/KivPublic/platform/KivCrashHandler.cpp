#include "KivCrashHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "KivLogFile.h"
#include "platform/KivPlatform.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr unsigned kDumpSeconds = 10;  // a dump that hangs (a lock held by the crashed thread) is cut short
std::atomic<bool> g_installed{false};
std::atomic<bool> g_inHandler{false};
char g_dumpPath[4096];
const char* g_pszLogPath = nullptr;  // the narrow log, appended to without its locks
long g_nUtcOffset = 0;      // seconds east of UTC when the handler was installed
alignas(16) char g_altStack[64 * 1024];

// Everything below runs inside the signal handler: only async-signal-safe calls (open, write,
// close, read, getpid, syscall, time, raise, alarm), no locks, no allocation, no stdio.

// A line built in a fixed buffer.
class Line {
public:
    Line& Text(const char* s) {
        while (*s && m_n < sizeof(m_buf)) m_buf[m_n++] = *s++;
        return *this;
    }
    // Decimal, at least nWidth digits (zero-padded).
    Line& Num(long long v, int nWidth = 1) {
        char d[24];
        int i = 0;
        bool bNeg = v < 0;
        unsigned long long u = bNeg ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        do d[i++] = static_cast<char>('0' + u % 10);
        while ((u /= 10) && i < 23);
        while (i < nWidth && i < 23) d[i++] = '0';
        if (bNeg && m_n < sizeof(m_buf)) m_buf[m_n++] = '-';
        while (i && m_n < sizeof(m_buf)) m_buf[m_n++] = d[--i];
        return *this;
    }
    Line& Hex(unsigned long long v) {
        Text("0x");
        char d[17];
        int i = 0;
        do d[i++] = "0123456789abcdef"[v & 15];
        while ((v >>= 4) && i < 16);
        while (i && m_n < sizeof(m_buf)) m_buf[m_n++] = d[--i];
        return *this;
    }
    void WriteTo(int fd) const {
        const char* p = m_buf;
        size_t n = m_n;
        while (n) {
            ssize_t w = ::write(fd, p, n);
            if (w <= 0) return;
            p += w;
            n -= static_cast<size_t>(w);
        }
    }

private:
    char m_buf[512];
    size_t m_n = 0;
};

// The log writer's line prefix, "YYYY/MM/DD hh:mm:ss (T-P:tid-pid) ", from the clock and the
// time-zone offset taken at installation (localtime is no signal-safe call).
void Prefix(Line& l) {
    long long t = static_cast<long long>(::time(nullptr)) + g_nUtcOffset;
    long long days = t / 86400, secs = t % 86400;
    if (secs < 0) secs += 86400, --days;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    long long z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
    l.Num(y, 4).Text("/").Num(m, 2).Text("/").Num(d, 2).Text(" ").Num(secs / 3600, 2).Text(":");
    l.Num(secs / 60 % 60, 2).Text(":").Num(secs % 60, 2).Text(" (T-P:").Num(::syscall(SYS_gettid));
    l.Text("-").Num(::getpid()).Text(") ");
}

void LogLine(const char* pszText, const char* pszArg) {
    if (!g_pszLogPath || !g_pszLogPath[0]) return;
    int fd = ::open(g_pszLogPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    Line l;
    Prefix(l);
    l.Text(pszText).Text(pszArg ? pszArg : "").Text("\r\n");
    l.WriteTo(fd);
    ::close(fd);
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV: return "SIGSEGV";
        case SIGBUS: return "SIGBUS";
        case SIGILL: return "SIGILL";
        case SIGFPE: return "SIGFPE";
        case SIGABRT: return "SIGABRT";
        default: return "signal";
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
        LogLine("Kiv Dmp crush", nullptr);
        int fd = ::open(g_dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            LogLine("Kiv Dmp crush wsDumpName = ", g_dumpPath);
            Line head;
            head.Text("signal ").Num(sig).Text(" (").Text(SignalName(sig)).Text(") code ").Num(info ? info->si_code : 0);
            head.Text(" address ").Hex(info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0).Text(" pid ");
            head.Num(::getpid()).Text("\n\nbacktrace:\n");
            head.WriteTo(fd);
            // Warmed up at installation, backtrace() no longer allocates; the symbols go straight
            // to the file.
            void* frames[128];
            int n = ::backtrace(frames, 128);
            ::backtrace_symbols_fd(frames, n, fd);
            Line maps;
            maps.Text("\nmaps:\n").WriteTo(fd);
            CopyMaps(fd);
            ::close(fd);
        }
    }
    // SA_RESETHAND restored the default action: raising again ends the process as the signal would.
    ::raise(sig);
}

}  // namespace

std::string KivDumpDir() { return KivGetLogDir(); }

void KivInstallCrashHandler() {
    if (g_installed.exchange(true)) return;
    std::snprintf(g_dumpPath, sizeof(g_dumpPath), "%s/%s", KivDumpDir().c_str(), KIV_DUMP_FILE);
    g_pszLogPath = KivLogNarrowPath();
    time_t now = ::time(nullptr);
    struct tm t{};
    if (::localtime_r(&now, &t)) g_nUtcOffset = t.tm_gmtoff;
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
