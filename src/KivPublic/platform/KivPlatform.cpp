// Linux back end of the operating-system layer.
#include "platform/KivPlatform.h"

#include "platform/KivFileUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>

namespace {

std::atomic<KivPumpHookFn> g_pfnPump{nullptr};

}  // namespace

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

bool KivIsInstalled() {
    static const bool s_bInstalled = [] {
        std::string exe = KivGetExeDir();
        struct stat st {};
        return !exe.empty() && ::stat((exe + "/KivInstalled.ini").c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }();
    return s_bInstalled;
}

std::string KivGetLogDir() {
    std::string exe = KivGetExeDir();
    if (!exe.empty() && !KivIsInstalled() && KivCanWriteDir(exe)) return exe;
    return KivUserDir("XDG_STATE_HOME", ".local/state");
}

void KivSetPumpHook(KivPumpHookFn pfn) { g_pfnPump.store(pfn); }

KivPumpHookFn KivGetPumpHook() { return g_pfnPump.load(); }

void KivPumpMessages() {
    if (KivPumpHookFn pfn = g_pfnPump.load()) pfn();
}
