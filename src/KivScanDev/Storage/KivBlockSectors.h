// How the file-system scanners walk the sectors of the block the scan thread is at.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "IKivDevStor.h"

// Calls fn(bytes, sector) for every sector of the block [nFirst, nFirst + nCount), which is
// already in the cache. The block is taken in pieces small enough to stay in the processor's cache
// while they are tested; a piece that cannot be read is taken sector by sector, so that a bad
// sector costs only itself. bytes starts with the sector; with bFollowing it also holds the
// sectors after it up to its piece's end and one more when that lies in the block (for structures
// that cross a sector's end), else just the sector.
template <class Fn>
void KivForEachBlockSector(IKivDevStor* pStor, uint64_t nFirst, uint64_t nCount, uint32_t nSectorSize,
                           bool bFollowing, std::vector<uint8_t>* pBuf, Fn&& fn) {
    const size_t z = nSectorSize;
    const uint64_t nPiece = std::max<uint64_t>(1, (128u << 10) / z);
    pBuf->resize(size_t(nPiece + 1) * z);
    for (uint64_t done = 0; done < nCount;) {
        uint64_t n = std::min(nPiece, nCount - done);
        uint64_t nRead = n + (bFollowing && done + n < nCount ? 1 : 0);
        if (pStor->ReadSectors(pBuf->data(), nFirst + done, nRead)) {
            std::span<const uint8_t> all(pBuf->data(), size_t(nRead) * z);
            for (uint64_t i = 0; i < n; ++i)
                fn(bFollowing ? all.subspan(size_t(i) * z) : all.subspan(size_t(i) * z, z), nFirst + done + i);
        } else {
            for (uint64_t i = 0; i < n; ++i)
                if (pStor->ReadSectors(pBuf->data(), nFirst + done + i, 1))
                    fn(std::span<const uint8_t>(pBuf->data(), z), nFirst + done + i);
        }
        done += n;
    }
}
