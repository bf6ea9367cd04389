#include "KivWin32.h"

#include <cerrno>
#include <vector>

#include "platform/KivText.h"

std::wstring KivWinPath(const std::string& strPath) {
    std::wstring w = KivUtf8ToWide(strPath);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    if (w.rfind(L"\\\\?\\", 0) == 0 || w.rfind(L"\\\\.\\", 0) == 0) return w;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::vector<wchar_t> buf(n + 1);
    n = GetFullPathNameW(w.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n == 0 || n >= buf.size()) return w;
    std::wstring full(buf.data(), n);
    // Short paths stay plain: some calls (and Wine) treat the prefixed form less kindly.
    if (full.size() < 240) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string KivFromWinPath(const std::wstring& strPath) {
    std::wstring w = strPath;
    if (w.rfind(L"\\\\?\\UNC\\", 0) == 0)
        w = L"\\\\" + w.substr(8);
    else if (w.rfind(L"\\\\?\\", 0) == 0)
        w = w.substr(4);
    std::string s = KivWideToUtf8(w);
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

int KivErrnoOfWin(DWORD nErr) {
    switch (nErr) {
        case ERROR_SUCCESS: return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME: return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case 1295:  // ERROR_DISK_QUOTA_EXCEEDED
            return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_PARAMETER: return EINVAL;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_NOT_READY:
        case ERROR_CRC:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE: return EIO;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_FILE_TOO_LARGE: return EFBIG;
        case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
        default: return EIO;
    }
}

bool KivWinFail() {
    errno = KivErrnoOfWin(GetLastError());
    return false;
}
