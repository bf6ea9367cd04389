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
// sector costs only itself. Sectors the storage lists as unreadable are not handed to fn. bytes starts with the sector; with bFollowing it also holds the
// sectors after it up to its piece's end and one more when that lies in the block (for structures
// that cross a sector's end), else just the sector.
template <class Fn>
void KivForEachBlockSector(IKivDevStor* pStor, uint64_t nFirst, uint64_t nCount, uint32_t nSectorSize,
                           bool bFollowing, std::vector<uint8_t>* pBuf, Fn&& fn) {
    const size_t z = nSectorSize;
    const uint64_t nPiece = std::max<uint64_t>(1, (128u << 10) / z);
    pBuf->resize(size_t(nPiece + 1) * z);
    KivBadRanges bad;
    for (uint64_t done = 0; done < nCount;) {
        uint64_t n = std::min(nPiece, nCount - done);
        uint64_t nRead = n + (bFollowing && done + n < nCount ? 1 : 0);
        const uint64_t nAt = nFirst + done;
        if (pStor->ReadSectorsEx(pBuf->data(), nAt, nRead, 0, &bad)) {
            // Unreadable sectors read as zeros, which say nothing: they are passed over, and a
            // structure crossing a sector's end stops short of them. The sectors around them count.
            auto pBad = bad.begin();
            for (uint64_t i = 0; i < n; ++i) {
                uint64_t s = nAt + i;
                while (pBad != bad.end() && pBad->nEnd <= s) ++pBad;
                if (pBad != bad.end() && pBad->nFirst <= s) continue;
                uint64_t nEnd = pBad != bad.end() ? std::min(pBad->nFirst, nAt + nRead) : nAt + nRead;
                std::span<const uint8_t> here(pBuf->data() + size_t(i) * z, size_t(nEnd - s) * z);
                fn(bFollowing ? here : here.first(z), s);
            }
        } else {
            for (uint64_t i = 0; i < n; ++i)
                if (pStor->ReadSectorsEx(pBuf->data(), nAt + i, 1, 0, &bad) && bad.empty())
                    fn(std::span<const uint8_t>(pBuf->data(), z), nAt + i);
        }
        done += n;
    }
}
