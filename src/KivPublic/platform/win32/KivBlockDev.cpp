// Windows back end of raw device access: CreateFileW for reading only (sharing reading and writing,
// so that a mounted volume stays usable for everyone else), the handle kept behind a C runtime
// descriptor so that the device layer holds the same ints on both systems, the sizes asked through
// the device seam (KivWinDevApi.h).
#include "platform/KivBlockDev.h"

#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "IKivDevStor.h"
#include "KivWin32.h"
#include "platform/KivWinDevApi.h"
#include "platform/KivWinIoctl.h"

namespace {

std::atomic<IKivDevOpener*> g_pOpener{nullptr};
thread_local std::string t_strOpenerReason;

HANDLE HandleOf(int fd) { return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A device path ("\\.\PHYSICALDRIVE0", "\\.\C:") is not a file: it has no file size.
bool IsDevicePath(const std::string& s) { return s.rfind("\\\\.\\", 0) == 0 || s.rfind("//./", 0) == 0; }

int ErrnoOfRead(DWORD nErr) { return nErr == ERROR_NOT_READY ? KIV_ENOMEDIUM : KivErrnoOfWin(nErr); }

bool Ask(HANDLE h, uint32_t nCode, uint32_t nBytes, std::vector<uint8_t>* pOut) {
    IKivWinDevApi* pApi = KivWinDevApi();
    uint32_t err = 0;
    return pApi && pApi->Ioctl(reinterpret_cast<uintptr_t>(h), nCode, {}, nBytes, pOut, &err);
}

}  // namespace

void KivSetDevOpener(IKivDevOpener* pOpener) { g_pOpener.store(pOpener); }

std::string KivLastOpenerReason() { return t_strOpenerReason; }

void KivCloseDev(int fd) {
    if (fd >= 0) _close(fd);
}

bool KivIsReadOnlyFd(int fd) {
    HANDLE h = HandleOf(fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    // The access the handle was granted, which the C runtime does not keep. Looked up in ntdll at
    // run time so that no module links it.
    using QueryFn = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    static const auto pfnQuery = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    PUBLIC_OBJECT_BASIC_INFORMATION bi{};
    ULONG n = 0;
    if (!pfnQuery || pfnQuery(h, ObjectBasicInformation, &bi, sizeof bi, &n) < 0) return false;
    constexpr ACCESS_MASK kWrite = FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL | DELETE;
    return (bi.GrantedAccess & kWrite) == 0;
}

bool KivIsReadOnlyFdOf(int fd, const std::string& strPath) {
    if (!KivIsReadOnlyFd(fd) || IsDevicePath(strPath)) return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    if (!GetFileInformationByHandle(HandleOf(fd), &a)) return false;
    HANDLE h = CreateFileW(KivWinPath(strPath).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, &b);
    CloseHandle(h);
    return ok && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

int KivOpenReadOnly(const std::string& strPath, int nTries, int* pErr) {
    t_strOpenerReason.clear();
    DWORD nErr = 0;
    for (int i = 0; i < (nTries < 1 ? 1 : nTries); ++i) {
        if (i > 0) Sleep(100);
        // Reading only, always: the medium being recovered must never be written.
        HANDLE h = CreateFileW(KivWinPath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            errno = 0;
            int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
            if (fd >= 0) return fd;
            // The C library's own reason (a handle of an unknown kind: EBADF), not a guess.
            int e = errno ? errno : EMFILE;
            CloseHandle(h);
            if (pErr) *pErr = e;
            return -1;
        }
        nErr = GetLastError();
        if (nErr != ERROR_NOT_READY && nErr != ERROR_IO_DEVICE && nErr != ERROR_CRC) break;
    }
    // No opener on Windows: the rights to read a raw disk come from running as administrator.
    // A folder refuses to open as a file; it is no disk either, as on Linux.
    DWORD nAttr = nErr == ERROR_ACCESS_DENIED ? GetFileAttributesW(KivWinPath(strPath).c_str()) : INVALID_FILE_ATTRIBUTES;
    if (pErr)
        *pErr = nAttr != INVALID_FILE_ATTRIBUTES && (nAttr & FILE_ATTRIBUTE_DIRECTORY) ? KIV_ENOTBLK : ErrnoOfRead(nErr);
    return -1;
}

int64_t KivPread(int fd, void* pBuf, uint64_t nBytes, uint64_t nOffset) {
    HANDLE h = HandleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    auto* p = static_cast<uint8_t*>(pBuf);
    uint64_t got = 0;
    while (got < nBytes) {
        DWORD nChunk = static_cast<DWORD>(std::min<uint64_t>(nBytes - got, 1u << 30)), n = 0;
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(nOffset + got);
        ov.OffsetHigh = static_cast<DWORD>((nOffset + got) >> 32);
        if (!ReadFile(h, p + got, nChunk, &n, &ov)) {
            DWORD nErr = GetLastError();
            if (nErr == ERROR_HANDLE_EOF) break;
            errno = ErrnoOfRead(nErr);
            return -1;
        }
        if (n == 0) break;
        got += n;
    }
    return static_cast<int64_t>(got);
}

void* KivAlignedAlloc(size_t nBytes) {
    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    return _aligned_malloc(nBytes, si.dwPageSize ? si.dwPageSize : 4096);
}

void KivAlignedFree(void* p) { _aligned_free(p); }

KivPathKind KivKindOfPath(const std::string& strPath, int* pErr) {
    if (IsDevicePath(strPath)) return KivPathKind::kBlockDevice;
    WIN32_FILE_ATTRIBUTE_DATA a{};
    if (!GetFileAttributesExW(KivWinPath(strPath).c_str(), GetFileExInfoStandard, &a)) {
        if (pErr) *pErr = KivErrnoOfWin(GetLastError());
        return KivPathKind::kMissing;
    }
    return a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? KivPathKind::kOther : KivPathKind::kRegularFile;
}

int KivDupReadOnly(int fd) { return KivIsReadOnlyFd(fd) ? _dup(fd) : -1; }

std::string KivRawAccessHint(int err) {
    (void)err;
    return "access denied; reading raw disks needs administrator rights: run Undelia as administrator";
}

bool KivQueryBlockInfo(int fd, KivBlockInfo* pOut) {
    *pOut = KivBlockInfo{};
    HANDLE h = HandleOf(fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION bi{};
    if (GetFileInformationByHandle(h, &bi)) {
        if (bi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
        pOut->bRegularFile = true;
        pOut->bHasBytes = true;
        pOut->nBytes = (static_cast<uint64_t>(bi.nFileSizeHigh) << 32) | bi.nFileSizeLow;
        return true;
    }
    // A disk or a volume: its driver tells the size and the sector.
    std::vector<uint8_t> a;
    KivWinGeometry g;
    bool bGeo = (Ask(h, KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, 256, &a) || Ask(h, KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY, 24, &a)) &&
                KivDecodeGeometry(a, &g);
    uint64_t nLength = 0;
    bool bLength = Ask(h, KIV_IOCTL_DISK_GET_LENGTH_INFO, 8, &a) && KivDecodeLength(a, &nLength);
    if (!bGeo && !bLength) return false;
    pOut->bBlockDevice = true;
    if (bLength || g.bHasDiskSize) {
        pOut->bHasBytes = true;
        pOut->nBytes = bLength ? nLength : g.nDiskSize;
    }
    if (bGeo) {
        pOut->nLogicalSector = g.nBytesPerSector;
        if (g.nTracksPerCylinder && g.nSectorsPerTrack) {
            pOut->bHasGeometry = true;
            pOut->nHeads = g.nTracksPerCylinder;
            pOut->nSectorsPerTrack = g.nSectorsPerTrack;
            // Windows counts the cylinders in full; the size decides anyway when it is known.
            pOut->nCylinders16 = static_cast<uint32_t>(std::min<uint64_t>(g.nCylinders, UINT32_MAX));
        }
    }
    return true;
}

bool KivFindFileData(int fd, uint64_t nOffset, uint64_t nSize, uint64_t* pData, uint64_t* pEnd) {
    // Every byte counts as data: sparse images are rare on Windows and read fast enough.
    (void)fd, (void)nOffset, (void)nSize, (void)pData, (void)pEnd;
    return false;
}

bool KivScsiReadCapacity10(int fd, uint64_t* pBlocks, uint32_t* pBlockBytes) {
    (void)fd, (void)pBlocks, (void)pBlockBytes;
    return false;
}

bool KivFloppySectors(int fd, uint64_t* pSectors) {
    std::vector<uint8_t> a;
    KivWinGeometry g;
    if (!Ask(HandleOf(fd), KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY, 24, &a) || !KivDecodeGeometry(a, &g)) return false;
    // MEDIA_TYPE: 1 to 10 and 13 to 25 are floppy formats; 0 unknown, 11 removable, 12 fixed.
    if (g.nMediaType == 0 || g.nMediaType == 11 || g.nMediaType == 12 || g.nMediaType > 25) return false;
    *pSectors = g.nCylinders * g.nTracksPerCylinder * g.nSectorsPerTrack;
    return *pSectors != 0;
}
