// The scan's test of one sector as a piece of an exFAT directory, and what such a sector tells:
// the entry sets that start in it, folder entries with their clusters, the root's own entries.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class CKivExFatDirSector {
public:
    struct FolderRef {
        uint32_t nCluster;
        uint64_t nBytes;
    };

    // Tests the first nSectorSize bytes of the span; bytes after them (the next sector) let a set
    // that starts here and crosses the sector's end be checked. A directory sector holds at least
    // one entry set with a valid checksum (in use or deleted), or the root's bitmap and up-case
    // entries, and nothing that no directory holds.
    bool Test(std::span<const uint8_t> bytes, size_t nSectorSize);

    uint32_t m_nSets = 0;           // valid File entry sets that start here
    bool m_bSetAtStart = false;     // slot 0 starts one of them (a directory's first sector does)
    bool m_bRoot = false;           // in-use allocation bitmap and up-case table entries
    uint32_t m_nBitmapCluster = 0;  // of the first bitmap entry, when m_bRoot
    uint64_t m_nBitmapBytes = 0;
    uint32_t m_nUpcaseCluster = 0;
    uint64_t m_nUpcaseBytes = 0;
    std::vector<FolderRef> m_folders;  // folder sets (in use or deleted) that start here
};
