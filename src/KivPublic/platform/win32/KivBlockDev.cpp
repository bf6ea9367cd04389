// Windows back end of raw device access: image files opened for reading only through the C
// library's descriptors (the device layer's currency), positioned reads through their handles.
// Disks and volumes ("\\.\PHYSICALDRIVEn") are opened the same way; the drive queries of Linux
// (SG_IO, floppy parameters, holes of sparse files) answer that they cannot tell.
#include "platform/KivBlockDev.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <string>

#include "KivWin32.h"

namespace {

std::atomic<IKivDevOpener*> g_pOpener{nullptr};
thread_local std::string t_strOpenerReason;

// The rights the handle under a descriptor was opened with (the C library keeps no access mode
// that could be asked); false when the system will not tell.
bool GrantedAccess(int fd, ACCESS_MASK* pAccess) {
    struct BasicInfo {
        ULONG nAttributes;
        ACCESS_MASK nGrantedAccess;
        ULONG nHandles, nPointers, nReserved[10];
    };
    using NtQueryObjectFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto pfn = reinterpret_cast<NtQueryObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (!pfn || h == INVALID_HANDLE_VALUE) return false;
    BasicInfo info{};
    ULONG n = 0;
    if (pfn(h, 0 /* ObjectBasicInformation */, &info, sizeof info, &n) < 0) return false;
    *pAccess = info.nGrantedAccess;
    return true;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!GetFileInformationByHandle(a, &ia) || !GetFileInformationByHandle(b, &ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace

void KivSetDevOpener(IKivDevOpener* pOpener) { g_pOpener.store(pOpener); }

std::string KivLastOpenerReason() { return t_strOpenerReason; }

bool KivIsReadOnlyFd(int fd) {
    // Any right to change the file's data, its attributes or the file itself is too much.
    constexpr ACCESS_MASK kWrite = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |
                                   WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
    ACCESS_MASK nAccess = 0;
    return GrantedAccess(fd, &nAccess) && (nAccess & FILE_READ_DATA) && !(nAccess & kWrite);
}

bool KivIsReadOnlyFdOf(int fd, const std::string& strPath) {
    if (!KivIsReadOnlyFd(fd)) return false;
    HANDLE h = CreateFileW(KivWinPath(strPath).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool bSame = SameFile(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), h);
    CloseHandle(h);
    return bSame;
}

int KivOpenReadOnly(const std::string& strPath, int nTries, int* pErr) {
    t_strOpenerReason.clear();
    int err = 0;
    for (int i = 0; i < (nTries < 1 ? 1 : nTries); ++i) {
        if (i > 0) Sleep(100);
        // Read-only, always: the medium being recovered must never be written. Others may go on
        // writing the file (a disk in use): shared for reading and writing.
        HANDLE h = CreateFileW(KivWinPath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
            if (fd >= 0) return fd;
            CloseHandle(h);
            err = EMFILE;
            break;
        }
        DWORD nErr = GetLastError();
        err = KivErrnoOfWin(nErr);
        if (nErr != ERROR_NOT_READY && nErr != ERROR_IO_DEVICE) break;
    }
    if (pErr) *pErr = err;
    return -1;
}

bool KivQueryBlockInfo(int fd, KivBlockInfo* pOut) {
    *pOut = KivBlockInfo{};
    struct _stati64 st{};
    if (_fstati64(fd, &st) != 0) return false;
    if (!(st.st_mode & _S_IFREG)) return false;
    pOut->bRegularFile = true;
    pOut->bHasBytes = true;
    pOut->nBytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool KivFindFileData(int, uint64_t, uint64_t, uint64_t*, uint64_t*) { return false; }

bool KivScsiReadCapacity10(int, uint64_t*, uint32_t*) { return false; }

bool KivFloppySectors(int, uint64_t*) { return false; }

int64_t KivReadAt(int fd, void* pBuf, uint64_t nBytes, uint64_t nOffset) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    // One call reads at most 1 GiB; the callers loop.
    DWORD nAsk = static_cast<DWORD>(nBytes < (1u << 30) ? nBytes : (1u << 30)), nGot = 0;
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(nOffset);
    ov.OffsetHigh = static_cast<DWORD>(nOffset >> 32);
    if (!ReadFile(h, pBuf, nAsk, &nGot, &ov)) {
        DWORD nErr = GetLastError();
        if (nErr == ERROR_HANDLE_EOF) return 0;
        errno = KivErrnoOfWin(nErr);
        return -1;
    }
    return static_cast<int64_t>(nGot);
}

int KivDupFd(int fd) { return _dup(fd); }

bool KivStatPath(const std::string& strPath, KivPathStat* pOut, int* pErr) {
    *pOut = KivPathStat{};
    struct _stati64 st{};
    if (_wstati64(KivWinPath(strPath).c_str(), &st) != 0) {
        if (pErr) *pErr = errno;
        return false;
    }
    pOut->bRegularFile = (st.st_mode & _S_IFREG) != 0;
    if (pOut->bRegularFile) pOut->nBytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool KivIsAdministrator() {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return false;
    TOKEN_ELEVATION e{};
    DWORD n = 0;
    bool bElevated = GetTokenInformation(hToken, TokenElevation, &e, sizeof e, &n) && e.TokenIsElevated;
    CloseHandle(hToken);
    return bElevated;
}

size_t KivPageSize() {
    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    return si.dwPageSize ? si.dwPageSize : 4096;
}

// Windows has no such tree (under Wine the Linux one would show through drive Z:): none is read.
const char* KivSysfsRoot() { return ""; }

const char* KivDevRoot() { return ""; }

const char* KivMountInfoPath() { return ""; }
