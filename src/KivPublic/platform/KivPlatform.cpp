// Linux back end of the operating-system layer.
#include "platform/KivPlatform.h"

#include "platform/KivFileUtil.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

std::string KivGetExeDir() {
    // Never destroyed: objects torn down at exit (a program's back-stage stopping the engine) still
    // log, and so still ask for this folder.
    static const std::string* s_pDir = new std::string([] {
        char buf[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
        if (n <= 0) return std::string();
        return KivDirOf(std::string(buf, static_cast<size_t>(n)));
    }());
    return *s_pDir;
}

uint32_t KivThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

uint32_t KivProcessId() { return static_cast<uint32_t>(::getpid()); }

bool KivLocalTime(int64_t nUnix, struct tm* pOut) {
    time_t t = static_cast<time_t>(nUnix);
    return ::localtime_r(&t, pOut) != nullptr;
}

bool KivUtcTime(int64_t nUnix, struct tm* pOut) {
    time_t t = static_cast<time_t>(nUnix);
    return ::gmtime_r(&t, pOut) != nullptr;
}

int64_t KivTimeFromUtc(struct tm* pTm) { return static_cast<int64_t>(::timegm(pTm)); }

int32_t KivUtcOffset(int64_t nUnix) {
    struct tm t{};
    return KivLocalTime(nUnix, &t) ? static_cast<int32_t>(t.tm_gmtoff) : 0;
}

std::string KivDebugConfigPath() {
    if (const char* p = std::getenv("XDG_CONFIG_HOME"); p && *p) return std::string(p) + "/undelia/config.ini";
    if (const char* p = std::getenv("HOME"); p && *p) return std::string(p) + "/.config/undelia/config.ini";
    return {};
}

std::string KivUserLocale() {
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* p = std::getenv(v); p && *p) return p;
    return {};
}
