// The device library's enumerator: the machine's disks (and image files listed as disks), their
// partitions and dynamic volumes, each with a readable store to scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "IKivDevStor.h"

#define KIV_IID_ENUMDEVEX "IKivEnumDevEx"

// File-system kinds of the partition records.
enum : int32_t {
    KIV_FSK_FAT12 = 0,
    KIV_FSK_FAT16 = 1,
    KIV_FSK_FAT32 = 2,
    KIV_FSK_NTFS = 3,
    KIV_FSK_EXT2 = 4,
    KIV_FSK_EXT3 = 5,
    KIV_FSK_UNKNOWN = 7,
    KIV_FSK_EXFAT = 8,  // the engine's type code for it
    KIV_FSK_EXT4 = 9,   // likewise
};

// The text logs and front ends show for a kind; anything else than 0..5, exFAT and EXT4 is "UNKNOWN".
inline const char* KivFsKindName(int32_t nKind) {
    static const char* const kNames[] = {"FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3"};
    if (nKind == KIV_FSK_EXFAT) return "exFAT";
    if (nKind == KIV_FSK_EXT4) return "EXT4";
    return nKind >= 0 && nKind <= 5 ? kNames[nKind] : "UNKNOWN";
}

// Storage bus types (the numbering of the platform's storage bus type).
enum : uint32_t {
    KIV_BUS_UNKNOWN = 0,
    KIV_BUS_SCSI = 1,
    KIV_BUS_ATAPI = 2,
    KIV_BUS_ATA = 3,
    KIV_BUS_1394 = 4,
    KIV_BUS_SSA = 5,
    KIV_BUS_FIBRE = 6,
    KIV_BUS_USB = 7,
    KIV_BUS_RAID = 8,
    KIV_BUS_ISCSI = 9,
    KIV_BUS_SAS = 10,
    KIV_BUS_SATA = 11,
    KIV_BUS_SD = 12,
    KIV_BUS_MMC = 13,
    KIV_BUS_VIRTUAL = 14,
    KIV_BUS_FILE = 15,  // a file standing in for a disk: loop devices and image files
    KIV_BUS_NVME = 17,
};

// Media types (GetMediaType, DiskInfo::nMediaType).
enum : uint32_t {
    KIV_MEDIA_UNKNOWN = 0,
    KIV_MEDIA_F5_1PT2 = 1,
    KIV_MEDIA_F3_1PT44 = 2,
    KIV_MEDIA_F3_2PT88 = 3,
    KIV_MEDIA_F3_20PT8 = 4,
    KIV_MEDIA_F3_720 = 5,
    KIV_MEDIA_F5_360 = 6,
    KIV_MEDIA_REMOVABLE = 11,
    KIV_MEDIA_FIXED = 12,
    KIV_MEDIA_NONE = 255,  // the query failed
};

// Mount state bits of DiskInfo::nMountFlags and PartInfo::nMountFlags.
enum : int32_t {
    KIV_MOUNTED = 0x1,
    KIV_MOUNTED_RW = 0x2,  // mounted read-write: its contents may change under a scan
};

// DiskInfo::nSource.
enum : int32_t { KIV_DISK_KERNEL = 0, KIV_DISK_IMAGE = 1 };

// PartInfo::nSource: where the partition was found.
enum : int32_t {
    KIV_PART_MBR = 1,      // a primary entry of the MBR
    KIV_PART_EBR = 2,      // a logical partition of an extended chain
    KIV_PART_GPT = 3,
    KIV_PART_WHOLE = 4,    // a file system from sector 0, no table
    KIV_PART_DYNAMIC = 5,  // a dynamic volume
    KIV_PART_FLOPPY = 6,
};

// PartInfo::nPartFlags.
enum : uint32_t {
    KIV_PARTF_FS_SIZED = 0x1,   // the sector count is the file system's own, not the table's
    KIV_PARTF_CUT = 0x2,        // the table entry ran past the disk's end and was cut there
};

// The layout codes of dynamic volumes (PartInfo::nLayout, IKivVolDyn::GetLayoutCode).
enum : int32_t {
    KIV_DYN_SIMPLE = 2,
    KIV_DYN_MIRROR = 3,
    KIV_DYN_SPANNED = 4,
    KIV_DYN_STRIPED = 5,
    KIV_DYN_RAID5 = 6,
};
inline const char* KivDynLayoutName(int32_t nCode) {
    switch (nCode) {
        case KIV_DYN_SIMPLE: return "SIMPLE";
        case KIV_DYN_MIRROR: return "MIRROR";
        case KIV_DYN_SPANNED: return "SPANNED";
        case KIV_DYN_STRIPED: return "STRIPPED";
        case KIV_DYN_RAID5: return "RAID5";
        default: return "UNKNOWN";
    }
}

// What GetDescriptor fills (1304 bytes). Texts are UTF-8, zero-terminated.
struct KivDiskDescriptor {
    uint32_t nBusType;   // KIV_BUS_*
    char szVendor[260];
    char szProduct[260];
    char szRevision[260];
    char szSerial[260];  // empty when the device reports none
    char szBusName[260];
};
static_assert(sizeof(KivDiskDescriptor) == 1304);

// Cylinders, media type, tracks per cylinder, sectors per track, bytes per sector (24 bytes).
struct KivDiskGeometry {
    int64_t nCylinders;
    uint32_t nMediaType;
    uint32_t nTracksPerCylinder;
    uint32_t nSectorsPerTrack;
    uint32_t nBytesPerSector;
};
static_assert(sizeof(KivDiskGeometry) == 24);

// QueryLayout control code on Linux: the partitions the kernel lists for the disk.
constexpr uint32_t KIV_LAYOUT_KERNEL = 1;

// The buffer QueryLayout(KIV_LAYOUT_KERNEL) hands out: this header, then nCount entries
// (KivLayoutEntries). Allocated with malloc; the caller frees it with free().
struct KivKernelLayout {
    uint32_t nCount;
    uint32_t nReserved;
};
struct KivKernelLayoutEntry {
    uint64_t nStartByte;     // on the disk
    uint64_t nLengthBytes;
    uint32_t nPartNumber;    // sdb2 -> 2
    uint32_t nDevMajor;
    uint32_t nDevMinor;
    char szName[36];         // "sdb2"
};
inline KivKernelLayoutEntry* KivLayoutEntries(KivKernelLayout* p) {
    return reinterpret_cast<KivKernelLayoutEntry*>(reinterpret_cast<uint8_t*>(p) + sizeof(KivKernelLayout));
}

// One physical disk, or an image file listed as a disk. The disk is opened read-only when it is
// created and stays open until its last Release.
class IKivDevDisk : public IKivDevStor {
public:
    virtual int IsOpen() = 0;
    // The disk's number in the machine's stable disk order; -1 for an image file.
    virtual int32_t GetDiskNumber() = 0;
    // Issues a layout query (KIV_LAYOUT_KERNEL on Linux); 1 with *ppOut = a malloc'd buffer the
    // caller frees, 0 on failure.
    virtual int QueryLayout(void** ppOut, uint32_t nControlCode) = 0;
    // The 32-bit value at byte 440 of sector 0, or -1 when the read fails.
    virtual int64_t GetMbrSignature() = 0;
    // Zeroes and fills the descriptor; 1 on success, 0 on failure.
    virtual int GetDescriptor(KivDiskDescriptor* pOut) = 0;
    virtual uint32_t GetMediaType() = 0;  // KIV_MEDIA_*, KIV_MEDIA_NONE when unknown
    virtual int GetGeometry(KivDiskGeometry* pOut) = 0;  // 1 when the device gave one
    virtual int IsDynamic() = 0;  // the disk carries a dynamic-disk database

    // Additions after the slots above.
    // The block device or image file the disk reads ("/dev/sdb", "/home/me/card.img").
    virtual const char* GetPath() = 0;
    // How many sectors of [nFirst, nFirst + nCount) the disk could not read so far (they read as
    // zeros). Readers with redundancy (mirrors, RAID-5) use it to fall back to another copy.
    virtual uint64_t CountUnreadable(uint64_t nFirst, uint64_t nCount) = 0;

protected:
    ~IKivDevDisk() override = default;
};

// The records below keep the fields, order and widths of the platform's records (pointers at
// native width) but are laid out with natural alignment, not byte-packed: a packed record makes
// every reference to one of its fields misaligned, which callers (test frameworks, JSON writers,
// std::min) take all the time. The offsets are pinned below.

// One piece of a partition or volume on a disk.
struct KivPartExtent {
    uint64_t nFirstSector;
    uint64_t nSectorCount;
    IKivDevDisk* pDisk;
};

// A disk record. Zero-filled before it is set. The record
// owns one reference of the disk: release it with KivReleaseDiskInfos.
struct DiskInfo {
    int32_t nReserved;       // 0
    IKivDevDisk* pDisk;
    int32_t nMediaType;
    int32_t nUsb;            // 1 when the bus type is USB
    IKivDevStor* pStor;      // the same disk as the store to scan and to hand to EnumPart
    char szDesc[50];         // "<product>  <bus name>"
    int32_t nDynamic;
    // The platform's reserved area (474 bytes), as used on Linux.
    int32_t nSource;         // KIV_DISK_KERNEL or KIV_DISK_IMAGE
    int32_t nRemovable;      // the kernel says the medium is removable
    int32_t nMountFlags;     // KIV_MOUNTED / KIV_MOUNTED_RW of the disk or any partition on it
    char szName[32];         // kernel name ("sdb") or the image file's name
    char szPath[400];        // device or image path (cut when longer; GetPath has it whole)
    uint8_t reserved[30];
};

// A partition or volume record. Zero-filled before it is
// set. The record owns one reference of pDevice; release with KivReleasePartInfos, before the
// disk records whose disks the devices borrow.
struct PartInfo {
    int32_t nReserved;          // 0
    IKivDevStor* pDevice;       // a partition window, a dynamic volume or a floppy drive
    int32_t nDynamic;           // 1 for a dynamic volume
    int32_t nFsKind;            // KIV_FSK_*
    char cDriveLetter;          // always 0 on Linux (see szMountPoint)
    char szLabel[100];          // UTF-8
    int32_t nFloppy;
    int32_t nUsb;
    KivPartExtent extents[32];  // slot 0 for a basic partition, one per member extent of a dynamic
                                // volume, none for a floppy; unused slots zero
    char szDesc[512];           // the disk's (or disks', one per line) description
    // Linux additions after the description.
    int32_t nMountFlags;        // KIV_MOUNTED / KIV_MOUNTED_RW
    int32_t nSource;            // KIV_PART_*
    int32_t nPartNumber;        // the kernel's partition number (sdb2 -> 2), 0 when none
    int32_t nLayout;            // KIV_DYN_* for a dynamic volume, 0 otherwise
    uint32_t nPartFlags;        // KIV_PARTF_*
    char szDevPath[64];         // the kernel's device of the partition ("/dev/sdb2"), or empty
    char szMountPoint[1024];    // where it is mounted (first mount), or empty
    uint8_t reserved[64];
};

// The layout on 64-bit builds.
constexpr bool KIV_LP64 = sizeof(void*) == 8;
static_assert(sizeof(KivPartExtent) == 24 || !KIV_LP64);
static_assert(!KIV_LP64 || (offsetof(DiskInfo, pDisk) == 8 && offsetof(DiskInfo, nMediaType) == 16 &&
                            offsetof(DiskInfo, nUsb) == 20 && offsetof(DiskInfo, pStor) == 24 &&
                            offsetof(DiskInfo, szDesc) == 32 && offsetof(DiskInfo, nDynamic) == 84 &&
                            offsetof(DiskInfo, szPath) == 132 && sizeof(DiskInfo) == 568));
static_assert(!KIV_LP64 || (offsetof(PartInfo, pDevice) == 8 && offsetof(PartInfo, nDynamic) == 16 &&
                            offsetof(PartInfo, nFsKind) == 20 && offsetof(PartInfo, cDriveLetter) == 24 &&
                            offsetof(PartInfo, szLabel) == 25 && offsetof(PartInfo, nFloppy) == 128 &&
                            offsetof(PartInfo, nUsb) == 132 && offsetof(PartInfo, extents) == 136 &&
                            offsetof(PartInfo, szDesc) == 904 && offsetof(PartInfo, nMountFlags) == 1416 &&
                            offsetof(PartInfo, szMountPoint) == 1500 && sizeof(PartInfo) == 2592));

// Something the last EnumDisk could not list, with a text for the user.
struct KivDevProblem {
    char szDevice[512];  // device or image path
    int32_t nErrno;      // the system's error number, 0 when none applies
    char szText[768];    // "cannot read /dev/sda: Permission denied; ..." (UTF-8)
};

// A dynamic volume: a store whose reads are mapped onto its member extents.
class IKivVolDyn : public IKivDevStor {
public:
    virtual int IsSameVolume(IKivVolDyn* pOther) = 0;
    virtual int32_t GetLayoutCode() = 0;  // KIV_DYN_*
    virtual int32_t GetFsKindHint() = 0;  // from the partition type byte of the volume record
    virtual int GetExtents(std::vector<KivPartExtent>* pOut) = 0;
    virtual char GetDriveLetter() = 0;    // 0 on Linux

protected:
    ~IKivVolDyn() override = default;
};

// Served under "IKivEnumDevEx".
class IKivEnumDevEx : public IKivCommon {
public:
    // Empties the list and appends one record per disk: the machine's disks in their stable
    // order, then the image files given to SetImagePaths in their order. Disks that cannot be
    // opened are left out; GetProblem tells why.
    virtual KivResult EnumDisk(std::vector<DiskInfo>* pDisks) = 0;
    // Appends the partitions and volumes of the given disks (basic partitions, dynamic volumes,
    // floppy drives) and orders the whole list. The list is not emptied first.
    virtual KivResult EnumPart(std::vector<DiskInfo>* pDisks, std::vector<PartInfo>* pParts) = 0;

    // Additions after the slots above.
    // Image files that EnumDisk lists as disks after the real ones (replacing earlier ones), read
    // with nSectorSize-byte sectors (0: 512 for a file, the kernel's sector size for a block
    // device). Paths are copied.
    virtual KivResult SetImagePaths(const char* const* ppPaths, uint32_t nCount, uint32_t nSectorSize) = 0;
    // Where the system's views come from (tests point them at fake trees); null keeps the current
    // one. Defaults: "/sys", "/dev", "/proc/self/mountinfo", or $UNDELIA_SYSFS_ROOT,
    // $UNDELIA_DEV_ROOT and $UNDELIA_MOUNTINFO when set.
    virtual KivResult SetSystemRoots(const char* pszSysfs, const char* pszDev, const char* pszMountInfo) = 0;
    // What the last EnumDisk could not list.
    virtual uint32_t GetProblemCount() = 0;
    virtual int GetProblem(uint32_t nIndex, KivDevProblem* pOut) = 0;  // 1 when nIndex is valid
    // Who to ask for a read-only descriptor of a disk the library may not open (null: nobody); the
    // same setting as IKivImageDev::SetDevOpener. Disks it opens are listed like the others.
    virtual KivResult SetDevOpener(IKivDevOpener* pOpener) = 0;

protected:
    ~IKivEnumDevEx() override = default;
};

// Releases the devices of partition records and empties the list.
inline void KivReleasePartInfos(std::vector<PartInfo>* pParts) {
    for (PartInfo& r : *pParts) {
        IKivDevStor* p = r.pDevice;
        if (p) p->Release();
    }
    pParts->clear();
}

// Releases the disks of disk records and empties the list (after their partition records).
inline void KivReleaseDiskInfos(std::vector<DiskInfo>* pDisks) {
    for (DiskInfo& r : *pDisks) {
        IKivDevDisk* p = r.pDisk;
        if (p) p->Release();
    }
    pDisks->clear();
}
