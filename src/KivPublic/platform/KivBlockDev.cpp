// Linux back end of raw device access.
#include "platform/KivBlockDev.h"

#include "IKivDevStor.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

std::atomic<IKivDevOpener*> g_pOpener{nullptr};
thread_local std::string t_strOpenerReason;

// A descriptor from the opener, accepted only when it reads exactly that path and cannot write.
int AskOpener(const std::string& strPath) {
    IKivDevOpener* pOpener = g_pOpener.load();
    if (!pOpener) return -1;
    char szWhy[512] = {};
    int fd = pOpener->OpenReadOnly(strPath.c_str(), szWhy, sizeof szWhy);
    szWhy[sizeof szWhy - 1] = 0;
    if (fd < 0) {
        t_strOpenerReason = szWhy[0] ? szWhy : "the system refused to open it";
        return -1;
    }
    if (!KivIsReadOnlyFdOf(fd, strPath)) {
        ::close(fd);
        t_strOpenerReason = "the descriptor handed over for " + strPath + " was not read-only on that device; refused";
        return -1;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

}  // namespace

void KivSetDevOpener(IKivDevOpener* pOpener) { g_pOpener.store(pOpener); }

std::string KivLastOpenerReason() { return t_strOpenerReason; }

bool KivIsReadOnlyFd(int fd) {
    int fl = ::fcntl(fd, F_GETFL);
    return fl != -1 && (fl & O_ACCMODE) == O_RDONLY && !(fl & O_PATH);
}

bool KivIsReadOnlyFdOf(int fd, const std::string& strPath) {
    struct stat a{}, b{};
    if (!KivIsReadOnlyFd(fd) || ::fstat(fd, &a) != 0 || ::stat(strPath.c_str(), &b) != 0) return false;
    if (S_ISBLK(a.st_mode)) return S_ISBLK(b.st_mode) && a.st_rdev == b.st_rdev;
    return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int KivOpenReadOnly(const std::string& strPath, int nTries, int* pErr) {
    t_strOpenerReason.clear();
    int err = 0;
    for (int i = 0; i < (nTries < 1 ? 1 : nTries); ++i) {
        if (i > 0) {
            struct timespec ts{0, 100 * 1000 * 1000};
            ::nanosleep(&ts, nullptr);
        }
        // Read-only, always: the medium being recovered must never be written.
        int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) return fd;
        err = errno;
        if (err != ENOMEDIUM && err != EIO) break;
    }
    // Only a block device can be handed over by someone with more rights; a file the user may
    // not read stays refused with the system's reason.
    struct stat st{};
    if ((err == EACCES || err == EPERM) && ::stat(strPath.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        if (int fd = AskOpener(strPath); fd >= 0) return fd;
    }
    if (pErr) *pErr = err;
    return -1;
}

bool KivQueryBlockInfo(int fd, KivBlockInfo* pOut) {
    *pOut = KivBlockInfo{};
    struct stat st{};
    if (::fstat(fd, &st) != 0) return false;
    if (S_ISREG(st.st_mode)) {
        pOut->bRegularFile = true;
        pOut->bHasBytes = true;
        pOut->nBytes = static_cast<uint64_t>(st.st_size);
        return true;
    }
    if (!S_ISBLK(st.st_mode)) return false;
    pOut->bBlockDevice = true;
    pOut->nDevMajor = major(st.st_rdev);
    pOut->nDevMinor = minor(st.st_rdev);
    uint64_t nBytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &nBytes) == 0) {
        pOut->bHasBytes = true;
        pOut->nBytes = nBytes;
    }
    int ss = 0;
    if (::ioctl(fd, BLKSSZGET, &ss) == 0 && ss > 0) pOut->nLogicalSector = static_cast<uint32_t>(ss);
    struct hd_geometry geo{};
    if (::ioctl(fd, HDIO_GETGEO, &geo) == 0 && geo.heads && geo.sectors) {
        pOut->bHasGeometry = true;
        pOut->nHeads = geo.heads;
        pOut->nSectorsPerTrack = geo.sectors;
        pOut->nCylinders16 = geo.cylinders;
    }
    return true;
}

bool KivScsiReadCapacity10(int fd, uint64_t* pBlocks, uint32_t* pBlockBytes) {
    unsigned char cdb[10] = {0x25};
    unsigned char data[8] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmdp = cdb;
    io.cmd_len = sizeof cdb;
    io.dxferp = data;
    io.dxfer_len = sizeof data;
    io.dxfer_direction = SG_DXFER_FROM_DEV;
    io.sbp = sense;
    io.mx_sb_len = sizeof sense;
    io.timeout = 4000;
    if (::ioctl(fd, SG_IO, &io) != 0) return false;
    if ((io.info & SG_INFO_OK_MASK) != SG_INFO_OK || io.resid != 0) return false;
    uint32_t last = (uint32_t(data[0]) << 24) | (uint32_t(data[1]) << 16) | (uint32_t(data[2]) << 8) | data[3];
    *pBlocks = uint64_t(last) + 1;
    *pBlockBytes = (uint32_t(data[4]) << 24) | (uint32_t(data[5]) << 16) | (uint32_t(data[6]) << 8) | data[7];
    return true;
}

bool KivFloppySectors(int fd, uint64_t* pSectors) {
    struct floppy_struct prm{};
    if (::ioctl(fd, FDGETPRM, &prm) != 0 || prm.size == 0) return false;
    *pSectors = prm.size;
    return true;
}

bool KivFindFileData(int fd, uint64_t nOffset, uint64_t nSize, uint64_t* pData, uint64_t* pEnd) {
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    if (fd < 0 || !pData || !pEnd) return false;
    if (nOffset >= nSize) {
        *pData = *pEnd = nSize;
        return true;
    }
    // The descriptor's offset moves; every read of ours is positioned, so nothing depends on it.
    off_t d = ::lseek(fd, static_cast<off_t>(nOffset), SEEK_DATA);
    if (d < 0) {
        if (errno != ENXIO) return false;  // the file system keeps no holes, or will not say
        *pData = *pEnd = nSize;            // nothing but a hole up to the end
        return true;
    }
    off_t h = ::lseek(fd, d, SEEK_HOLE);
    if (h < d) return false;
    *pData = std::min<uint64_t>(static_cast<uint64_t>(d), nSize);
    *pEnd = std::min<uint64_t>(static_cast<uint64_t>(h), nSize);
    return true;
#else
    (void)fd, (void)nOffset, (void)nSize, (void)pData, (void)pEnd;
    return false;
#endif
}

int64_t KivReadAt(int fd, void* pBuf, uint64_t nBytes, uint64_t nOffset) {
    return static_cast<int64_t>(::pread(fd, pBuf, static_cast<size_t>(nBytes), static_cast<off_t>(nOffset)));
}

int KivDupFd(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 3); }

bool KivStatPath(const std::string& strPath, KivPathStat* pOut, int* pErr) {
    *pOut = KivPathStat{};
    struct stat st{};
    if (::stat(strPath.c_str(), &st) != 0) {
        if (pErr) *pErr = errno;
        return false;
    }
    pOut->bRegularFile = S_ISREG(st.st_mode);
    pOut->bBlockDevice = S_ISBLK(st.st_mode);
    if (pOut->bRegularFile) pOut->nBytes = static_cast<uint64_t>(st.st_size);
    if (pOut->bBlockDevice) {
        pOut->nDevMajor = major(st.st_rdev);
        pOut->nDevMinor = minor(st.st_rdev);
    }
    return true;
}

bool KivIsAdministrator() { return ::geteuid() == 0; }

size_t KivPageSize() {
    long n = ::sysconf(_SC_PAGESIZE);
    return n > 0 ? static_cast<size_t>(n) : 4096;
}

const char* KivSysfsRoot() { return "/sys"; }

const char* KivDevRoot() { return "/dev"; }

const char* KivMountInfoPath() { return "/proc/self/mountinfo"; }
