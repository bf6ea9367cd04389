#include "Analysers/KivGzipCheck.h"

#include <zlib.h>

#include <algorithm>

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivInflateCheck.h"

KivCheckVerdict CKivGzipCheck::Check(std::span<const uint8_t> d, const KivCheckPoint* pFrom,
                                     std::vector<KivCheckPoint>* pPoints) {
    if (!KivBytesAt(d, 0, "\x1F\x8B\x08")) return KivCheckVerdict::Unchecked();
    size_t p = pFrom ? static_cast<size_t>(pFrom->nOffset) : 0;
    uint64_t nInflateLeft = kKivInflateMaxOut;
    for (;;) {
        if (pPoints) {
            KivCheckPoint cp;
            cp.nOffset = p;
            pPoints->push_back(cp);
        }
        // zlib reads the member header and checks the trailer's CRC-32 and length itself.
        KivInflated inf;
        bool bOk = KivInflate(d.data() + p, d.size() - p, 16 + MAX_WBITS, &inf, nInflateLeft);
        if (inf.bCapped) return KivCheckVerdict::Unchecked();
        if (!bOk || !inf.bEnded) return KivCheckVerdict::Broken(p + inf.nConsumed, p);
        nInflateLeft -= inf.nOut;
        p += inf.nConsumed;
        // Another member may follow; zeros pad a member out to a block; anything else is not gzip
        // data and is left unchecked.
        if (p + 3 <= d.size() && KivBytesAt(d, p, "\x1F\x8B\x08")) continue;
        return KivCheckVerdict::Whole();
    }
}
