// Raw device access of the platform layer: opening disks, image files and floppy drives for
// reading only, and asking the kernel (or the drive) about their size and geometry.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

// Error numbers that not every C library has (Windows' has neither).
#ifndef ENOMEDIUM
#define ENOMEDIUM 123
#endif
#ifndef ENOTBLK
#define ENOTBLK 15
#endif

class IKivDevOpener;

// Opens a path O_RDONLY (never for writing). A device that answers "no medium" or an I/O error at
// open is tried again, up to nTries opens in all, a short pause apart. Without the rights to open
// it, the opener set with KivSetDevOpener is asked for a descriptor (checked with
// KivIsReadOnlyFdOf). -1 with *pErr = errno on failure.
int KivOpenReadOnly(const std::string& strPath, int nTries, int* pErr);

// The opener of this module (null: none). Not owned.
void KivSetDevOpener(IKivDevOpener* pOpener);
// Why the opener last failed on this thread (empty when it was not asked or succeeded).
std::string KivLastOpenerReason();

// True when fd is open for reading only; with a path, also that it is that file or device.
bool KivIsReadOnlyFd(int fd);
bool KivIsReadOnlyFdOf(int fd, const std::string& strPath);

// What the kernel tells about an open device or file.
struct KivBlockInfo {
    bool bBlockDevice = false;
    bool bRegularFile = false;
    bool bHasBytes = false;        // nBytes is known (BLKGETSIZE64 or the file size)
    uint64_t nBytes = 0;
    uint32_t nLogicalSector = 0;   // BLKSSZGET; 0 when not a block device
    bool bHasGeometry = false;     // HDIO_GETGEO answered
    uint32_t nHeads = 0, nSectorsPerTrack = 0;
    uint32_t nCylinders16 = 0;     // the kernel's (16-bit, possibly cut) cylinder count
    uint32_t nDevMajor = 0, nDevMinor = 0;  // of a block device
};
bool KivQueryBlockInfo(int fd, KivBlockInfo* pOut);

// Where a regular file holds data from byte nOffset on, as its file system tells (holes of a
// sparse file read as zeros and need no read): *pData is the first byte at or after nOffset that
// may hold data, *pEnd the end of that data (both nSize when none follows). False when the file
// system cannot tell; then every byte counts as data.
bool KivFindFileData(int fd, uint64_t nOffset, uint64_t nSize, uint64_t* pData, uint64_t* pEnd);

// READ CAPACITY(10) sent to the drive through SG_IO (4 s time-out): the last block address + 1 and
// the block length. False when the device does not take SCSI commands or the command fails.
bool KivScsiReadCapacity10(int fd, uint64_t* pBlocks, uint32_t* pBlockBytes);

// Floppy drive parameters (FDGETPRM): sectors in all; false when the device is no floppy or has
// no medium.
bool KivFloppySectors(int fd, uint64_t* pSectors);

// A read at a byte offset of an open descriptor (its file offset is not used): the bytes read, 0
// at the end, -1 with errno on failure. Any thread.
int64_t KivReadAt(int fd, void* pBuf, uint64_t nBytes, uint64_t nOffset);

// A second descriptor of the same open file, not handed to child processes; read-only when fd is.
// -1 on failure.
int KivDupFd(int fd);

// What the file system tells about a path without opening it.
struct KivPathStat {
    bool bRegularFile = false;
    bool bBlockDevice = false;
    uint64_t nBytes = 0;  // of a regular file
    uint32_t nDevMajor = 0, nDevMinor = 0;  // of a block device
};
// False with *pErr = errno when the path cannot be looked at.
bool KivStatPath(const std::string& strPath, KivPathStat* pOut, int* pErr);

// Whether the program runs with the administrator's rights (root, an elevated token).
bool KivIsAdministrator();

// The memory page size, for buffers that raw device reads want aligned.
size_t KivPageSize();

// Where the kernel lists the block devices, where their device nodes lie, and this process's
// mount table ("/sys", "/dev", "/proc/self/mountinfo"); empty where the system has none (Windows,
// where the device layer lists image files only so far).
const char* KivSysfsRoot();
const char* KivDevRoot();
const char* KivMountInfoPath();
