// What the exFAT scanner keeps of one pass over the device, for proposing volumes and for the
// lost folders of their trees.
#pragma once

#include <cstdint>
#include <vector>

struct KivExFatDirSectorRec {
    enum : uint32_t { kSetAtStart = 0x01, kRoot = 0x02 };
    uint64_t nSector;
    uint32_t nSets;  // valid entry sets starting in it
    uint32_t nFlags;
};
static_assert(sizeof(KivExFatDirSectorRec) == 16);

// A sector holding a root directory's bitmap and up-case entries.
struct KivExFatRootRec {
    uint64_t nSector;
    uint32_t nBitmapCluster;
    uint32_t nUpcaseCluster;
    uint64_t nBitmapBytes;
    uint64_t nUpcaseBytes;
};

// A folder entry set: where it was seen and the cluster of the folder's content.
struct KivExFatFolderRef {
    uint64_t nSector;
    uint32_t nCluster;
};

// A sector that starts a FAT, with the entries it holds.
struct KivExFatFatStart {
    uint64_t nSector;
    std::vector<uint32_t> head;
};

struct KivExFatScanRecords {
    // Bounds that keep hostile media from exhausting memory; real volumes stay far below them.
    static constexpr size_t kMaxDirSectors = 4u << 20;
    static constexpr size_t kMaxRoots = 4096;
    static constexpr size_t kMaxFolderRefs = 1u << 20;
    static constexpr size_t kMaxFatStarts = 4096;
    static constexpr size_t kMaxUpcase = 4096;

    std::vector<KivExFatDirSectorRec> dirSectors;  // ascending, as the pass went
    std::vector<KivExFatRootRec> roots;
    std::vector<KivExFatFolderRef> folders;        // ascending by sector
    std::vector<KivExFatFatStart> fatStarts;       // ascending
    std::vector<uint64_t> upcaseStarts;            // ascending
    std::vector<uint64_t> checksumOk;              // boot regions whose checksum matched, ascending
};

// Evidence flags of a candidate volume (kept as the evidence flags of its result partition).
enum : uint32_t {
    KIV_EXFAT_BOOT_MAIN = 0x01,    // a boot sector at the first sector
    KIV_EXFAT_BOOT_BACKUP = 0x02,  // a boot sector where the backup region starts
    KIV_EXFAT_SUM_MAIN = 0x04,     // the main region's checksum sector agrees with it
    KIV_EXFAT_SUM_BACKUP = 0x08,   // the backup region's likewise
    KIV_EXFAT_FAT1 = 0x10,         // a FAT starts where the first copy should
    KIV_EXFAT_FAT2 = 0x20,         // and where the second should (two copies)
    KIV_EXFAT_ROOT = 0x40,         // the root directory lies at its cluster
    KIV_EXFAT_UPCASE = 0x80,       // the up-case table lies where the root says
    KIV_EXFAT_FROM_DIRS = 0x100,   // the geometry comes from directory evidence alone
};
