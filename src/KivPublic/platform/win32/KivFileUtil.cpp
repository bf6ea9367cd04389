// Windows back end of the file-system helpers: the wide-character calls, long paths allowed.
#include "platform/KivFileUtil.h"

#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "KivWin32.h"
#include "platform/KivText.h"

namespace {

DWORD AttrsOf(const std::string& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(KivWinPath(path).c_str());
}

// "C:" and "C:/": a drive's root, which has no parent.
bool IsDriveRoot(const std::string& s) {
    return (s.size() == 2 || (s.size() == 3 && (s[2] == '/' || s[2] == '\\'))) && s[1] == ':';
}

}  // namespace

std::string KivDirOf(const std::string& path) {
    auto pos = path.find_last_of("/\\");
    if (pos == std::string::npos) return {};
    if (pos == 0) return path.substr(0, 1);
    std::string dir = path.substr(0, pos);
    if (dir.size() == 2 && dir[1] == ':') dir += path[pos];
    return dir;
}

bool KivMakeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    DWORD a = AttrsOf(dir);
    if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (IsDriveRoot(dir)) return false;
    std::string parent = KivDirOf(dir);
    if (!parent.empty() && parent != dir) KivMakeDirs(parent);
    if (CreateDirectoryW(KivWinPath(dir).c_str(), nullptr)) return true;
    return GetLastError() == ERROR_ALREADY_EXISTS && KivIsDir(dir);
}

bool KivWriteAll(int fd, const void* pData, size_t n) {
    const auto* p = static_cast<const char*>(pData);
    while (n) {
        unsigned nChunk = n > (1u << 30) ? (1u << 30) : static_cast<unsigned>(n);
        int w = ::_write(fd, p, nChunk);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

std::string KivUserDir(const char*, const char*) {
    // One per-user folder serves what Linux keeps apart as state and cache.
    std::string base;
    if (const wchar_t* p = _wgetenv(L"LOCALAPPDATA"); p && *p)
        base = KivFromWinPath(p);
    else if (const wchar_t* h = _wgetenv(L"USERPROFILE"); h && *h)
        base = KivFromWinPath(h) + "/AppData/Local";
    else
        return {};
    std::string dir = base + "/undelia";
    return KivMakeDirs(dir) ? dir : std::string();
}

KivPathType KivPathTypeOf(const std::string& path) {
    DWORD a = AttrsOf(path);
    if (a == INVALID_FILE_ATTRIBUTES) return KivPathType::kNone;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return KivPathType::kOther;  // a link is not followed
    if (a & FILE_ATTRIBUTE_DIRECTORY) return KivPathType::kDir;
    if (a & FILE_ATTRIBUTE_DEVICE) return KivPathType::kOther;
    return KivPathType::kFile;
}

bool KivPathExists(const std::string& path) { return AttrsOf(path) != INVALID_FILE_ATTRIBUTES; }

bool KivIsDir(const std::string& path) {
    DWORD a = AttrsOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool KivIsFile(const std::string& path) {
    DWORD a = AttrsOf(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool KivFileSize(const std::string& path, uint64_t* pBytes) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (path.empty() || !GetFileAttributesExW(KivWinPath(path).c_str(), GetFileExInfoStandard, &d)) return false;
    if (d.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
    *pBytes = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    return true;
}

bool KivListDir(const std::string& dir, std::vector<std::string>* pNames) {
    pNames->clear();
    std::wstring pattern = KivWinPath(dir);
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // an empty root folder
        return KivWinFail();
    }
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") pNames->push_back(KivWideToUtf8(name));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return true;
}

bool KivMakeDir(const std::string& dir) {
    return CreateDirectoryW(KivWinPath(dir).c_str(), nullptr) ? true : KivWinFail();
}

bool KivRenamePath(const std::string& strFrom, const std::string& strTo) {
    return MoveFileExW(KivWinPath(strFrom).c_str(), KivWinPath(strTo).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? true
               : KivWinFail();
}

bool KivRemoveFile(const std::string& path) { return DeleteFileW(KivWinPath(path).c_str()) ? true : KivWinFail(); }

bool KivRemoveDir(const std::string& dir) { return RemoveDirectoryW(KivWinPath(dir).c_str()) ? true : KivWinFail(); }

bool KivFreeBytes(const std::string& dir, uint64_t* pBytes) {
    ULARGE_INTEGER nFree{};
    if (!GetDiskFreeSpaceExW(KivWinPath(dir).c_str(), &nFree, nullptr, nullptr)) return KivWinFail();
    *pBytes = nFree.QuadPart;
    return true;
}

bool KivCanWriteDir(const std::string& dir) {
    if (!KivIsDir(dir)) return false;
    // Access rights on Windows are lists that only an attempt answers for sure: a file that is
    // gone again when its handle closes.
    std::wstring probe = KivWinPath(dir + "/.undelia-probe-" + std::to_string(GetCurrentProcessId()) + "-" +
                                    std::to_string(GetCurrentThreadId()));
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

bool KivSetFileTimes(const std::string& path, uint64_t nCreate, uint64_t nAccess, uint64_t nWrite) {
    if (!nCreate && !nAccess && !nWrite) return true;
    HANDLE h = CreateFileW(KivWinPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return KivWinFail();
    FILETIME c = KivToFileTime(nCreate), a = KivToFileTime(nAccess), w = KivToFileTime(nWrite);
    bool ok = SetFileTime(h, nCreate ? &c : nullptr, nAccess ? &a : nullptr, nWrite ? &w : nullptr) != 0;
    if (!ok) KivWinFail();
    CloseHandle(h);
    return ok;
}

bool KivSetFileAttributes(const std::string& path, uint32_t nAttrs) {
    DWORD a = nAttrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return SetFileAttributesW(KivWinPath(path).c_str(), a ? a : FILE_ATTRIBUTE_NORMAL) ? true : KivWinFail();
}

size_t KivNameMax(const std::string& dir) {
    std::wstring path = KivWinPath(dir.empty() ? "." : dir);
    std::vector<wchar_t> root(path.size() + 2);
    DWORD nMax = 0;
    if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size())) ||
        !GetVolumeInformationW(root.data(), nullptr, 0, nullptr, &nMax, nullptr, nullptr, 0) || nMax == 0)
        return 255;
    return nMax;
}

size_t KivNameLength(const std::string& name) {
    // UTF-16 units: one per character, two for those beyond the basic plane (four UTF-8 bytes).
    size_t n = 0;
    for (unsigned char c : name)
        if ((c & 0xC0) != 0x80) n += c >= 0xF0 ? 2 : 1;
    return n;
}

std::string KivDestName(const std::string& name) {
    std::string s = name;
    for (char& c : s)
        if (c && std::strchr("<>:\"\\|?*", c)) c = '#';
    // The system drops trailing dots and spaces: "a." would become "a", another entry's name.
    if (!s.empty() && (s.back() == '.' || s.back() == ' ')) s += '#';
    // Device names, with or without an extension, open the device instead of a file.
    std::string stem = s.substr(0, s.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    std::string up;
    for (char c : stem) up += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    bool bDevice = false;
    for (const char* d : kDevices) bDevice |= up == d;
    if (up.size() == 4 && (up.compare(0, 3, "COM") == 0 || up.compare(0, 3, "LPT") == 0) && up[3] >= '0' &&
        up[3] <= '9')
        bDevice = true;
    // COM and LPT with a superscript digit (UTF-8 of U+00B9, U+00B2, U+00B3) name devices too.
    if (up.size() == 5 && (up.compare(0, 3, "COM") == 0 || up.compare(0, 3, "LPT") == 0) &&
        static_cast<unsigned char>(up[3]) == 0xC2 &&
        (static_cast<unsigned char>(up[4]) == 0xB9 || static_cast<unsigned char>(up[4]) == 0xB2 ||
         static_cast<unsigned char>(up[4]) == 0xB3))
        bDevice = true;
    if (bDevice) s = "_" + s;
    return s;
}

std::string KivAbsolutePath(const std::string& path) { return KivFromWinPath(KivWinPath(path.empty() ? "." : path)); }

namespace {

// WriteEncryptedFileRaw asks for the stream piece by piece.
DWORD WINAPI FeedImport(PBYTE pbData, PVOID pvContext, PULONG pnLength) {
    HANDLE h = static_cast<HANDLE>(pvContext);
    DWORD got = 0;
    if (!ReadFile(h, pbData, *pnLength, &got, nullptr)) return GetLastError();
    *pnLength = got;  // 0 ends the import
    return ERROR_SUCCESS;
}

}  // namespace

bool KivImportEncryptedRaw(const std::string& strStream, const std::string& strDest) {
    std::wstring dest = KivWinPath(strDest);
    std::vector<wchar_t> root(MAX_PATH + 1), fs(MAX_PATH + 1);
    std::wstring parent = KivWinPath(KivDirOf(strDest).empty() ? "." : KivDirOf(strDest));
    if (!GetVolumePathNameW(parent.c_str(), root.data(), static_cast<DWORD>(root.size())) ||
        !GetVolumeInformationW(root.data(), nullptr, 0, nullptr, nullptr, nullptr, fs.data(),
                               static_cast<DWORD>(fs.size())) ||
        std::wstring(fs.data()) != L"NTFS") {
        errno = ENOTSUP;
        return false;
    }
    HANDLE hIn = CreateFileW(KivWinPath(strStream).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hIn == INVALID_HANDLE_VALUE) return KivWinFail();
    PVOID ctx = nullptr;
    DWORD rc = OpenEncryptedFileRawW(dest.c_str(), CREATE_FOR_IMPORT, &ctx);
    if (rc == ERROR_SUCCESS) {
        rc = WriteEncryptedFileRaw(FeedImport, hIn, ctx);
        CloseEncryptedFileRaw(ctx);
    }
    CloseHandle(hIn);
    if (rc != ERROR_SUCCESS) {
        DeleteFileW(dest.c_str());
        errno = rc == ERROR_CALL_NOT_IMPLEMENTED || rc == ERROR_NOT_SUPPORTED ? ENOTSUP : KivErrnoOfWin(rc);
        return false;
    }
    return true;
}
