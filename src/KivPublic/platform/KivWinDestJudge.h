// Where a recovery destination lies compared with the medium being scanned, as Windows tells it:
// volumes are related to disks through their disk extents. The Windows back end of KivDestMedium.h
// gathers the facts through the device seam; the judgement is here, the same on every build.
#pragma once

#include <string>
#include <vector>

#include "platform/KivDestMedium.h"
#include "platform/KivWinIoctl.h"

class IKivWinDevApi;

struct KivWinSourceFacts {
    enum class Kind { kDisk, kVolume, kImage } kind = Kind::kImage;
    uint32_t nDisk = 0;                 // kDisk: the physical drive's number
    std::vector<KivWinExtent> extents;  // kVolume: where the volume lies
    std::string strVolume;              // kVolume: its root ("E:\")
    std::string strImageVolume;         // kImage: the volume root that holds the image ("C:\")
};

struct KivWinDestFacts {
    std::string strVolume;              // the destination's volume root ("D:\"), empty when unknown
    std::vector<KivWinExtent> extents;  // where that volume lies; empty for network and virtual drives
};

KivDestVerdict KivWinJudgeDestination(const KivWinSourceFacts& src, const KivWinDestFacts& dest);

// The source facts of a path: "\\.\PHYSICALDRIVE<n>", "\\.\<letter>:" (extents asked through the
// seam) or anything else as an image file on the volume volumeOf(path).
KivWinSourceFacts KivWinSourceOf(IKivWinDevApi& api, const std::string& strSource, const std::string& strImageVolume);
// The extents of the volume with that root ("D:\"), through the seam.
std::vector<KivWinExtent> KivWinVolumeExtents(IKivWinDevApi& api, const std::string& strVolumeRoot);
