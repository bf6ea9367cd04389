#include "CClusterUseBitMap.h"

#include <algorithm>
#include <new>

#include "KivLog.h"

KivResult CClusterUseBitMap::Init(uint64_t nFirstSector, uint32_t nSecPerClus, uint64_t nClusters) {
    // 2^33 clusters (a 1 GiB map) is beyond any real volume; larger counts come from corrupt geometry.
    if (nSecPerClus == 0 || nClusters > (uint64_t(1) << 33)) return KIV_RETERR(KIV_E_INVALIDARG);
    m_nFirstSector = nFirstSector;
    m_nSecPerClus = nSecPerClus;
    m_nClusters = 0;
    m_blockPrefix.clear();
    m_bPrefixValid = false;
    try {
        m_bits.assign(nClusters / 64 + (nClusters % 64 != 0), 0);
    } catch (const std::exception&) {  // bad_alloc or a length beyond the vector's reach
        m_bits.clear();
        return KIV_RETERR(KIV_E_NOOBJ);
    }
    m_nClusters = nClusters;
    return KIV_OK;
}

void CClusterUseBitMap::SetUsed(uint64_t nCluster, uint64_t nCount) {
    if (nCluster >= m_nClusters) return;
    uint64_t nEnd = nCount > m_nClusters - nCluster ? m_nClusters : nCluster + nCount;
    m_bPrefixValid = false;
    uint64_t c = nCluster;
    for (; c < nEnd && c % 64; ++c) m_bits[c / 64] |= uint64_t(1) << (c % 64);
    for (; c + 64 <= nEnd; c += 64) m_bits[c / 64] = ~uint64_t(0);
    for (; c < nEnd; ++c) m_bits[c / 64] |= uint64_t(1) << (c % 64);
}

bool CClusterUseBitMap::IsUsed(uint64_t nCluster) const {
    if (nCluster >= m_nClusters) return true;
    return (m_bits[nCluster / 64] >> (nCluster % 64)) & 1;
}

bool CClusterUseBitMap::AnyUsed(uint64_t nCluster, uint64_t nCount) {
    if (nCluster >= m_nClusters || nCount == 0) return false;
    uint64_t nEnd = nCount > m_nClusters - nCluster ? m_nClusters : nCluster + nCount;
    if (!m_bPrefixValid) {
        uint64_t nBlocks = (m_bits.size() + kBlockWords - 1) / kBlockWords;
        m_blockPrefix.assign(nBlocks + 1, 0);
        for (uint64_t b = 0; b < nBlocks; ++b) {
            uint64_t n = 0;
            for (uint64_t w = b * kBlockWords; w < std::min<uint64_t>(m_bits.size(), (b + 1) * kBlockWords); ++w)
                n += static_cast<uint64_t>(__builtin_popcountll(m_bits[w]));
            m_blockPrefix[b + 1] = m_blockPrefix[b] + n;
        }
        m_bPrefixValid = true;
    }
    // Bits past the count are never set, so whole words may be read up to the end.
    auto wordsUsed = [this](uint64_t wFirst, uint64_t wEnd) {
        for (uint64_t w = wFirst; w < wEnd; ++w)
            if (m_bits[w]) return true;
        return false;
    };
    uint64_t wFirst = nCluster / 64, wLast = (nEnd - 1) / 64;
    uint64_t headMask = ~uint64_t(0) << (nCluster % 64);
    uint64_t tailMask = nEnd % 64 ? ~uint64_t(0) >> (64 - nEnd % 64) : ~uint64_t(0);
    if (wFirst == wLast) return (m_bits[wFirst] & headMask & tailMask) != 0;
    if ((m_bits[wFirst] & headMask) || (m_bits[wLast] & tailMask)) return true;
    // The words between: partial blocks word by word, whole blocks through their counts.
    uint64_t w = wFirst + 1;
    uint64_t bFirst = (w + kBlockWords - 1) / kBlockWords, bEnd = wLast / kBlockWords;
    if (bFirst >= bEnd) return wordsUsed(w, wLast);
    return wordsUsed(w, bFirst * kBlockWords) || m_blockPrefix[bEnd] != m_blockPrefix[bFirst] ||
           wordsUsed(bEnd * kBlockWords, wLast);
}

int CClusterUseBitMap::IsClusterUsed(uint64_t nSector) {
    if (nSector < m_nFirstSector) return 1;
    return IsUsed((nSector - m_nFirstSector) / m_nSecPerClus) ? 1 : 0;
}
