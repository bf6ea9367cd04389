// Where the device back end learns of the machine's disks, their partitions and what is mounted
// from them: sysfs and mountinfo on Linux, the disk and volume controls on Windows
// (KivWinDiskProbe.h), in the records of KivSysBlock.h either way. On Windows a disk's device
// numbers are (disk number + 1, partition number), and a drive letter is a mount point "X:\".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/KivSysBlock.h"

// The whole disks, in the system's order; those that exist but may not be opened are listed too,
// so that their opening tells the user why.
std::vector<KivSysDisk> KivSystemDisks(const std::string& strSysfsRoot, const std::string& strDevRoot);
// The partitions the system knows of a disk of KivSystemDisks.
std::vector<KivSysPartition> KivSystemPartitions(const KivSysDisk& disk);
// What is mounted, and where.
std::vector<KivMountEntry> KivSystemMounts(const std::string& strMountInfo);
// The device of a partition named as KivSystemPartitions names it.
std::string KivPartitionDevPath(const std::string& strDevRoot, const std::string& strName);
// Floppy drive nDrive (0 is A:, 1 is B:) when the machine has it: its device and device numbers
// (0, 0 when it has none).
bool KivFloppyDrive(const std::string& strDevRoot, int nDrive, std::string* pPath, uint32_t* pMajor,
                    uint32_t* pMinor);
