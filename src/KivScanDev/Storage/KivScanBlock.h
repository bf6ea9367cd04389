// One scan block as the scanners see it: a read-only view of the bytes the cache read once, shared
// by every scanner of the pass, with the sectors that could not be read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>

#include "IKivDevStor.h"

struct KivScanBlock {
    uint64_t nFirst = 0;  // first sector
    uint64_t nCount = 0;  // sectors of data
    uint32_t nSectorSize = 512;
    // nCount sectors; the buffer behind it is a whole block (nBlockSectors), zeros past nCount.
    const uint8_t* pData = nullptr;
    uint64_t nBlockSectors = 0;
    const KivBadRanges* pBad = nullptr;  // unreadable sectors (read as zeros), sorted; null: none
    // Keeps the buffer alive for a scanner that holds on to the block after its call (the carver's
    // ring); the buffer is never written while anybody holds it.
    std::shared_ptr<const uint8_t> hold;
    // Every sector reads as zeros (a hole of a sparse medium): pData points to shared zeros.
    bool bZeros = false;

    std::span<const uint8_t> Bytes() const { return {pData, size_t(nCount) * nSectorSize}; }
    const uint8_t* Sector(uint64_t nSector) const { return pData + size_t(nSector - nFirst) * nSectorSize; }
    bool HasBad() const { return pBad && !pBad->empty(); }
};
