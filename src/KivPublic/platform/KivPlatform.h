// The operating-system layer every deliverable uses: one declaration, a Linux back end beside
// this header and a Windows one in win32/, chosen when the build is configured.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/KivText.h"

// Folder of the running executable (no trailing '/'); empty when it cannot be found.
std::string KivGetExeDir();

// True when the program runs from an installed folder (`cmake --install` put "KivInstalled.ini"
// beside it): that folder belongs to the system and nothing is written into it, even as root.
bool KivIsInstalled();

// Folder the logs and crash reports go to: the executable's folder when writable and not
// installed (a build folder), else a per-user state folder.
std::string KivGetLogDir();

// Folder of what the programs remember for the user between runs (window size, last folders):
// a per-user configuration folder, made when missing; empty when there is none.
std::string KivGetConfigDir();

// Long work on a caller's thread calls KivPumpMessages() every few steps; the program may install
// a hook (its window-message pump). Without one the call does nothing.
using KivPumpHookFn = void (*)();
void KivSetPumpHook(KivPumpHookFn pfn);
// The hook installed in this module (each library has its own; the program hands its hook on).
KivPumpHookFn KivGetPumpHook();
void KivPumpMessages();

// The debugging configuration file (its section "main", key "pos", is where a scan starts):
// $XDG_CONFIG_HOME/undelia/config.ini or ~/.config/undelia/config.ini on Linux, C:\config.ini on
// Windows; empty when no home is known.
std::string KivDebugConfigPath();

// The user's language as a POSIX locale name ("de_DE.UTF-8", "fr_FR"); empty when none is set.
std::string KivUserLocale();

// Ids the log lines show.
uint32_t KivThreadId();
uint32_t KivProcessId();
// Local and UTC calendar time of a Unix time (the C library's struct tm); false when there is none
// (Windows' C runtime has none before 1970).
bool KivLocalTime(int64_t nUnix, struct tm* pOut);
bool KivUtcTime(int64_t nUnix, struct tm* pOut);
// The Unix time of UTC calendar fields (timegm); -1 when they name none.
int64_t KivTimeFromUtc(struct tm* pTm);
// Seconds east of UTC of the local time at that moment.
int32_t KivUtcOffset(int64_t nUnix);

// Windows file times (100 ns since 1601-01-01 UTC) and Unix times.
constexpr uint64_t KIV_FILETIME_UNIX_EPOCH = 116444736000000000ull;
inline uint64_t KivUnixToFileTime(int64_t nSec, uint32_t nNsec = 0) {
    return static_cast<uint64_t>(nSec * 10000000ll + nNsec / 100) + KIV_FILETIME_UNIX_EPOCH;
}
// Seconds and nanoseconds since 1970 of a file time.
inline void KivFileTimeToUnix(uint64_t ft, int64_t* pSec, uint32_t* pNsec) {
    int64_t t = static_cast<int64_t>(ft - KIV_FILETIME_UNIX_EPOCH);
    int64_t s = t / 10000000;
    int64_t r = t % 10000000;
    if (r < 0) {
        r += 10000000;
        --s;
    }
    *pSec = s;
    *pNsec = static_cast<uint32_t>(r * 100);
}
