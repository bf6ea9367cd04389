// What Windows tells of its disks and volumes, gathered through the device seam (KivWinDevApi.h):
// the physical drives \\.\PHYSICALDRIVE0 to 19 with their geometry, size, descriptor and layout,
// and the drive letters of the volumes that lie on them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/KivWinIoctl.h"

class IKivWinDevApi;

// One volume with a drive letter, and where it lies.
struct KivWinVolume {
    char cLetter = 0;
    std::vector<KivWinExtent> extents;  // several for a spanned or striped dynamic volume
};

struct KivWinDiskFacts {
    int32_t nNumber = -1;
    std::string strPath;  // "\\.\PHYSICALDRIVE<n>"
    bool bHasGeometry = false;
    KivWinGeometry geometry;
    bool bHasLength = false;
    uint64_t nLength = 0;
    bool bHasDescriptor = false;
    KivWinStorageDesc desc;
    bool bHasLayout = false;
    KivWinLayout layout;
};

constexpr int kKivWinMaxDisks = 20;
// The first layout buffer, and how much it grows while the driver answers that it is too small.
constexpr uint32_t kKivWinLayoutFirst = 5952, kKivWinLayoutStep = 3840, kKivWinLayoutMax = 1u << 20;

// The drives that open, in number order; *pFailed gets (path, error) of those that exist but do
// not open (no permission, most often).
std::vector<KivWinDiskFacts> KivWinListDisks(IKivWinDevApi& api,
                                             std::vector<std::pair<std::string, uint32_t>>* pFailed = nullptr);
// The drive layout of an open device: IOCTL_DISK_GET_DRIVE_LAYOUT_EX, else the older
// IOCTL_DISK_GET_DRIVE_LAYOUT, with the growing buffer.
bool KivWinQueryLayout(IKivWinDevApi& api, uint64_t h, KivWinLayout* pOut);
// Every drive letter with the extents of its volume (letters whose volume does not answer, such as
// network drives or empty card readers, are left out).
std::vector<KivWinVolume> KivWinListVolumes(IKivWinDevApi& api);
// The letter of the volume that starts at nStart bytes on disk nDisk; 0 when none.
char KivWinLetterOf(const std::vector<KivWinVolume>& vols, uint32_t nDisk, uint64_t nStart);
