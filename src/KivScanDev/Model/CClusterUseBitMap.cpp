#include "CClusterUseBitMap.h"

#include <new>

#include "KivLog.h"

KivResult CClusterUseBitMap::Init(uint64_t nFirstSector, uint32_t nSecPerClus, uint64_t nClusters) {
    // 2^33 clusters (a 1 GiB map) is beyond any real volume; larger counts come from corrupt geometry.
    if (nSecPerClus == 0 || nClusters > (uint64_t(1) << 33)) return KIV_RETERR(KIV_E_INVALIDARG);
    m_nFirstSector = nFirstSector;
    m_nSecPerClus = nSecPerClus;
    m_nClusters = 0;
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
    uint64_t c = nCluster;
    for (; c < nEnd && c % 64; ++c) m_bits[c / 64] |= uint64_t(1) << (c % 64);
    for (; c + 64 <= nEnd; c += 64) m_bits[c / 64] = ~uint64_t(0);
    for (; c < nEnd; ++c) m_bits[c / 64] |= uint64_t(1) << (c % 64);
}

bool CClusterUseBitMap::IsUsed(uint64_t nCluster) const {
    if (nCluster >= m_nClusters) return true;
    return (m_bits[nCluster / 64] >> (nCluster % 64)) & 1;
}

int CClusterUseBitMap::IsClusterUsed(uint64_t nSector) {
    if (nSector < m_nFirstSector) return 1;
    return IsUsed((nSector - m_nFirstSector) / m_nSecPerClus) ? 1 : 0;
}
