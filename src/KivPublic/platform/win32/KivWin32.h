// Helpers the Windows back ends of the platform layer share (never included outside win32/).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>

// The wide form of a UTF-8 path for the file calls: '/' becomes '\', a relative path is made
// absolute, and a long one gets the "\\?\" prefix that lifts the MAX_PATH limit. Device paths
// ("\\.\PHYSICALDRIVE0") and already prefixed ones are kept as they are.
std::wstring KivWinPath(const std::string& strPath);
// Back from a wide path: UTF-8 with '/', the "\\?\" prefix dropped.
std::string KivFromWinPath(const std::wstring& strPath);

// errno for a Windows error code (ERROR_FILE_EXISTS -> EEXIST, ERROR_DISK_FULL -> ENOSPC, ...).
int KivErrnoOfWin(DWORD nErr);
// Sets errno from GetLastError() and answers false, for "return KivWinFail();".
bool KivWinFail();

// Windows file times as 64-bit counts and back.
inline uint64_t KivFromFileTime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME KivToFileTime(uint64_t n) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(n);
    ft.dwHighDateTime = static_cast<DWORD>(n >> 32);
    return ft;
}
