// The program's folders and its message pump, the same on every system.
#include <atomic>

#include "platform/KivFileUtil.h"
#include "platform/KivPlatform.h"

namespace {

std::atomic<KivPumpHookFn> g_pfnPump{nullptr};

}  // namespace

bool KivIsInstalled() {
    static const bool s_bInstalled = [] {
        std::string exe = KivGetExeDir();
        return !exe.empty() && KivIsFile(exe + "/KivInstalled.ini");
    }();
    return s_bInstalled;
}

std::string KivGetLogDir() {
    std::string exe = KivGetExeDir();
    if (!exe.empty() && !KivIsInstalled() && KivCanWriteDir(exe)) return exe;
    return KivUserDir("XDG_STATE_HOME", ".local/state");
}

std::string KivGetConfigDir() { return KivUserDir("XDG_CONFIG_HOME", ".config"); }

void KivSetPumpHook(KivPumpHookFn pfn) { g_pfnPump.store(pfn); }

KivPumpHookFn KivGetPumpHook() { return g_pfnPump.load(); }

void KivPumpMessages() {
    if (KivPumpHookFn pfn = g_pfnPump.load()) pfn();
}
