// Inflates a deflate or zlib stream held in memory into nothing, for the content checks: where it
// ends, or where it stops decoding, and the CRC-32 and length of what it holds.
#pragma once

#include <cstddef>
#include <cstdint>

struct KivInflated {
    bool bEnded = false;    // the stream's end was reached
    size_t nConsumed = 0;   // input bytes used (to the end, or to where decoding failed)
    uint64_t nOut = 0;      // bytes it decoded to
    uint32_t nCrc = 0;      // CRC-32 of those bytes
    bool bCapped = false;   // stopped at nMaxOut: a bomb, or more than the check may spend
};

// The most a check inflates of one file: a stream that decodes to more is not checked to its end.
inline constexpr uint64_t kKivInflateMaxOut = 256ull << 20;

// CRC-32 (zlib's) of n bytes, n past what one zlib call takes included.
uint32_t KivCrc32(const uint8_t* p, size_t n);

// nWindowBits as for zlib's inflateInit2 (-15 raw deflate, 15 zlib). Answers false when the data
// does not decode (nConsumed then says where it failed), zlib cannot start, or the stream decodes
// to more than nMaxOut bytes (bCapped).
bool KivInflate(const uint8_t* p, size_t n, int nWindowBits, KivInflated* pOut, uint64_t nMaxOut = kKivInflateMaxOut);
