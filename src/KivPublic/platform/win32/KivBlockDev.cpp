// Windows back end of raw device access: image files opened for reading only through the C
// library's descriptors (the device layer's currency), positioned reads through their handles.
// Disks and volumes ("\\.\PHYSICALDRIVEn") are opened the same way; the drive queries of Linux
// (SG_IO, floppy parameters, holes of sparse files) answer that they cannot tell.
#include "platform/KivBlockDev.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>

#include "KivWin32.h"

namespace {

std::atomic<IKivDevOpener*> g_pOpener{nullptr};
thread_local std::string t_strOpenerReason;

// The descriptors this layer opened read-only, with the handle under each: the C library keeps
// no access mode that could be asked, so only these count as read-only (a descriptor number used
// again for another file has another handle).
std::mutex g_mtx;
std::unordered_map<int, intptr_t> g_readOnly;

void NoteReadOnly(int fd) {
    std::lock_guard<std::mutex> lock(g_mtx);
    g_readOnly[fd] = _get_osfhandle(fd);
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
    std::lock_guard<std::mutex> lock(g_mtx);
    auto it = g_readOnly.find(fd);
    return it != g_readOnly.end() && it->second == _get_osfhandle(fd) && it->second != -1;
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
            if (fd >= 0) {
                NoteReadOnly(fd);
                return fd;
            }
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

int KivDupFd(int fd) {
    const bool bReadOnly = KivIsReadOnlyFd(fd);
    int n = _dup(fd);
    if (n >= 0 && bReadOnly) NoteReadOnly(n);
    return n;
}

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
