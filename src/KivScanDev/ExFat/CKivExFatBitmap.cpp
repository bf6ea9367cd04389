#include "CKivExFatBitmap.h"

#include <algorithm>

void CKivExFatBitmap::Load(std::span<const uint8_t> bytes, uint32_t nClusters) {
    m_nClusters = nClusters;
    m_bits.assign((uint64_t(nClusters) + 63) / 64, 0);
    size_t nBytes = std::min<uint64_t>(bytes.size(), (uint64_t(nClusters) + 7) / 8);
    for (size_t i = 0; i < nBytes; ++i) m_bits[i / 8] |= uint64_t(bytes[i]) << (8 * (i % 8));
    // Bits past the last cluster mean nothing.
    if (nClusters % 64 && !m_bits.empty()) m_bits.back() &= (uint64_t(1) << (nClusters % 64)) - 1;
    m_full.assign((m_bits.size() + 63) / 64, 0);
    for (size_t w = 0; w < m_bits.size(); ++w) {
        bool bFull = m_bits[w] == ~0ull;
        if (bFull) m_full[w / 64] |= uint64_t(1) << (w % 64);
    }
    m_bLoaded = !bytes.empty();
}

uint64_t CKivExFatBitmap::NextFree(uint64_t nCluster) const {
    if (nCluster < 2) nCluster = 2;
    uint64_t i = nCluster - 2;
    if (i >= m_nClusters) return 0;
    uint64_t w = i / 64;
    uint64_t free = ~m_bits[w] & (~0ull << (i % 64));
    // Whole allocated words are passed over 64 at a time through the summary.
    while (!free) {
        ++w;
        while (w < m_bits.size() && w % 64 == 0 && m_full[w / 64] == ~0ull) w += 64;
        while (w < m_bits.size() && ((m_full[w / 64] >> (w % 64)) & 1)) ++w;
        if (w >= m_bits.size()) return 0;
        free = ~m_bits[w];
    }
    uint64_t r = w * 64 + __builtin_ctzll(free);
    return r < m_nClusters ? r + 2 : 0;
}
