// How the file-system scanners walk the sectors of the block the scan thread is at.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "IKivDevStor.h"
#include "Storage/KivScanBlock.h"

// The block [nFirst, nFirst + nCount) of pStor as a view. When pStor is the scan's cache and that
// block is its current one, the view is the cache's own buffer; otherwise the block is read into
// *pBuf (kept by the caller for the next block) with its unreadable sectors in *pBad. A read the
// storage refuses whole is tried sector by sector when bBySector (the sectors that fail are listed
// as failed), else the answer is false.
bool KivGetScanBlock(IKivDevStor* pStor, uint64_t nFirst, uint64_t nCount, bool bBySector, std::vector<uint8_t>* pBuf,
                     KivBadRanges* pBad, KivScanBlock* pOut);

// Calls fn(bytes, sector) for every sector of the block. The block is walked in pieces small
// enough to stay in the processor's cache while they are tested. Sectors the block lists as
// unreadable are not handed to fn. bytes starts with the sector; with bFollowing it also holds the
// sectors after it up to its piece's end and one more when that lies in the block (for structures
// that cross a sector's end), stopping short of an unreadable sector, else just the sector.
template <class Fn>
void KivForEachBlockSector(const KivScanBlock& b, bool bFollowing, Fn&& fn) {
    const size_t z = b.nSectorSize;
    const uint64_t nPiece = std::max<uint64_t>(1, (128u << 10) / z);
    static const KivBadRanges kNone;
    const KivBadRanges& bad = b.pBad ? *b.pBad : kNone;
    auto pBad = bad.begin();
    for (uint64_t done = 0; done < b.nCount;) {
        uint64_t n = std::min(nPiece, b.nCount - done);
        uint64_t nRead = n + (bFollowing && done + n < b.nCount ? 1 : 0);
        const uint64_t nAt = b.nFirst + done;
        // Unreadable sectors read as zeros, which say nothing: they are passed over, and a
        // structure crossing a sector's end stops short of them. The sectors around them count.
        for (uint64_t i = 0; i < n; ++i) {
            uint64_t s = nAt + i;
            while (pBad != bad.end() && pBad->nEnd <= s) ++pBad;
            if (pBad != bad.end() && pBad->nFirst <= s) continue;
            uint64_t nEnd = pBad != bad.end() ? std::min(std::max(pBad->nFirst, s + 1), nAt + nRead) : nAt + nRead;
            std::span<const uint8_t> here(b.Sector(s), size_t(nEnd - s) * z);
            fn(bFollowing ? here : here.first(z), s);
        }
        done += n;
    }
}
