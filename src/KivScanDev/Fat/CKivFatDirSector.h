// The scan's test of one sector as a piece of a FAT directory.
#pragma once

#include <cstdint>
#include <span>

class CKivFatDirSector {
public:
    // Answers true when the sector reads as directory entries. On success: m_bStart when it opens a
    // directory with "." and ".." (m_nOwnCluster from "."), and m_nCounted the entries that count.
    bool Test(std::span<const uint8_t> sector);

    bool m_bStart = false;
    bool m_bEnded = false;  // the entries stop at a slot never used: the directory ends here
    uint32_t m_nOwnCluster = 0;
    uint32_t m_nCounted = 0;
};
