// Where a recovery destination lies compared with the medium being scanned: writing recovered
// files onto that medium overwrites the very data still to be recovered. Linux: block devices are
// related through sysfs (partitions, the devices a mapper or RAID device sits on, the file behind a
// loop device) and mounts through /proc/self/mountinfo.
#pragma once

#include <sys/types.h>

#include <string>

// Where the kernel's views are read from; tests point both at fake trees of regular files.
struct KivMediumRoots {
    std::string strSysfs = "/sys";
    std::string strMountInfo = "/proc/self/mountinfo";
};

// The scanned medium as stat() sees it.
struct KivSourceId {
    bool bBlock = false;  // a block device (rdev names it), else an image file (dev and ino)
    dev_t rdev = 0;
    dev_t dev = 0;
    ino_t ino = 0;
};

enum class KivDestPlace {
    kElsewhere,          // nothing of the scanned medium is written
    kSameFsAsImage,      // the file system that holds the image file: the image is safe, the disk it came from may not be
    kOnScannedMedium,    // on the scanned device or one of its partitions, or inside a mount of the image
};

struct KivDestVerdict {
    KivDestPlace place = KivDestPlace::kElsewhere;
    std::string strWhy;  // for kOnScannedMedium: what ties the destination to the medium
};

// The nearest existing folder at or above path (made absolute), or empty when there is none.
std::string KivExistingAncestor(const std::string& path);

// nDestDev is the st_dev of the destination's nearest existing folder strDestDir.
KivDestVerdict KivJudgeDestination(const KivSourceId& src, dev_t nDestDev, const std::string& strDestDir,
                                   const KivMediumRoots& roots = {});

// The same from paths: stats the source and the destination's nearest existing folder. A source
// or destination that cannot be looked at gives kElsewhere.
KivDestVerdict KivJudgeDestination(const std::string& strSource, const std::string& strDest,
                                   const KivMediumRoots& roots = {});

// The same for one file to be written at strFile (a report, a session, a mapfile): refused also
// when the path is the scanned image itself (a hard or symbolic link to it included) or any block
// device. A symbolic link is judged both where it lies and where it points, since the file may be
// written through it or replaced beside it.
KivDestVerdict KivJudgeOutputFile(const std::string& strSource, const std::string& strFile,
                                  const KivMediumRoots& roots = {});

// Why a destination folder cannot take recovered files (not a folder, a virtual file system such
// as /proc, no permission to create or write it), or empty when it can. Creates nothing.
std::string KivDestUnusable(const std::string& strDest);
