// The kernel's view of block devices: whole disks from sysfs, their partitions, and where
// devices are mounted. Every root is a parameter so tests can point at a fake tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One whole disk the kernel lists under <sysfs>/block.
struct KivSysDisk {
    std::string strName;     // "sda", "nvme0n1", "mmcblk0", "loop3"
    std::string strSysDir;   // <sysfs>/block/<name>
    std::string strDevPath;  // <dev>/<name>
    std::string strVendor, strModel, strRevision, strSerial;
    uint32_t nBusType = 0;   // KIV_BUS_* numbering
    bool bRemovable = false;
    uint64_t nSize512 = 0;   // the kernel's size, in 512-byte units
    uint32_t nMajor = 0, nMinor = 0;
    std::string strBackingFile;  // loop devices
};

// One partition the kernel lists for a disk.
struct KivSysPartition {
    std::string strName;  // "sda2"
    uint32_t nNumber = 0;
    uint64_t nStart512 = 0, nSize512 = 0;  // 512-byte units, whatever the sector size
    uint32_t nMajor = 0, nMinor = 0;
};

// One line of a mountinfo file.
struct KivMountEntry {
    uint32_t nMajor = 0, nMinor = 0;
    std::string strRoot;        // the mounted folder of the file system ("/" for the whole)
    std::string strMountPoint;  // unescaped
    bool bReadWrite = false;
    std::string strFsType, strSource;
};

// Whether a name under <sysfs>/block is a whole disk of a kind we list: sd*, hd*, vd*, xvd*,
// nvme<c>n<n>, mmcblk<n>, loop<n>, dm-<n> (the latter two only when sysDir shows a backing file or
// a multipath map). Partitions, ram, zram, optical drives and other volumes are not.
bool KivIsListedDiskName(const std::string& strName, const std::string& strSysDir);

// Orders disk names: by family, then naturally ("sdb" < "sdz" < "sdaa", "nvme2n1" < "nvme10n1").
bool KivDiskNameLess(const std::string& a, const std::string& b);

// The bus type implied by a disk's sysfs device path (the link target of <sysfs>/block/<name>).
uint32_t KivBusTypeFromSysPath(const std::string& strLinkTarget, const std::string& strName);

// The whole disks under <sysfsRoot>/block, sorted with KivDiskNameLess; disks of size 0 (card
// readers without a card, detached loop devices) are left out.
std::vector<KivSysDisk> KivListSysDisks(const std::string& strSysfsRoot, const std::string& strDevRoot);

// The partitions of a disk's sysfs folder, by number.
std::vector<KivSysPartition> KivListSysPartitions(const std::string& strSysDiskDir);

// Reads a mountinfo file; an unreadable file gives no entries.
std::vector<KivMountEntry> KivReadMountInfo(const std::string& strPath);
// Parses mountinfo text (one entry per well-formed line).
std::vector<KivMountEntry> KivParseMountInfo(const std::string& strText);

// The first mount of a device number, preferring one of the whole file system; null when none.
// *pbAnyReadWrite tells whether any mount of it is read-write.
const KivMountEntry* KivFindMount(const std::vector<KivMountEntry>& mounts, uint32_t nMajor, uint32_t nMinor,
                                  bool* pbAnyReadWrite);

// "8:1" -> 8, 1.
bool KivParseDevNumber(const std::string& strText, uint32_t* pMajor, uint32_t* pMinor);

// A small text file of sysfs, without trailing blanks and newlines; empty when missing.
std::string KivReadSysText(const std::string& strPath);
