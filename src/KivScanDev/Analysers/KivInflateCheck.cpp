#include "Analysers/KivInflateCheck.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

uint32_t KivCrc32(const uint8_t* p, size_t n) {
    uLong c = crc32(0, nullptr, 0);
    while (n) {
        uInt k = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        c = crc32(c, p, k);
        p += k;
        n -= k;
    }
    return static_cast<uint32_t>(c);
}

bool KivInflate(const uint8_t* p, size_t n, int nWindowBits, KivInflated* pOut, uint64_t nMaxOut) {
    *pOut = KivInflated{};
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, nWindowBits) != Z_OK) return false;
    uint8_t sink[32768];
    uLong crc = crc32(0, nullptr, 0);
    size_t nLeft = n;
    bool bOk = true;
    for (;;) {
        if (zs.avail_in == 0 && nLeft) {
            uInt k = static_cast<uInt>(std::min<size_t>(nLeft, 1u << 30));
            zs.next_in = const_cast<Bytef*>(p + (n - nLeft));
            zs.avail_in = k;
            nLeft -= k;
        }
        zs.next_out = sink;
        zs.avail_out = sizeof sink;
        int r = inflate(&zs, Z_NO_FLUSH);
        size_t nGot = sizeof sink - zs.avail_out;
        crc = crc32(crc, sink, static_cast<uInt>(nGot));
        pOut->nOut += nGot;
        if (pOut->nOut > nMaxOut) {
            pOut->bCapped = true;
            bOk = false;
            break;
        }
        if (r == Z_STREAM_END) {
            pOut->bEnded = true;
            break;
        }
        if (r == Z_OK) continue;
        if (r == Z_BUF_ERROR && (zs.avail_in || nLeft)) continue;
        bOk = r == Z_BUF_ERROR;  // out of input: not an error, but no end either
        break;
    }
    pOut->nConsumed = n - nLeft - zs.avail_in;
    pOut->nCrc = static_cast<uint32_t>(crc);
    inflateEnd(&zs);
    return bOk;
}
