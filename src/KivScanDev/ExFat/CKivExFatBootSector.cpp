#include "CKivExFatBootSector.h"

#include <algorithm>

#include "KivByteReader.h"

namespace {

// The fields a running system changes, left out of the boot region's checksum.
constexpr size_t kVolumeFlagsAt = 106;  // 16 bits
constexpr size_t kPercentInUseAt = 112;

}  // namespace

bool CKivExFatBootSector::Parse(std::span<const uint8_t> sector, uint32_t nDevSectorSize) {
    static constexpr uint8_t kHead[] = {0xEB, 0x76, 0x90, 'E', 'X', 'F', 'A', 'T', ' ', ' ', ' '};
    KivByteReader r(sector);
    if (!r.Has(0, 512) || !r.Equals(0, kHead, sizeof kHead) || r.U8At(510) != 0x55 || r.U8At(511) != 0xAA)
        return false;
    // The old parameter block must be zero, so that FAT drivers never take the volume for theirs.
    for (size_t i = 11; i < 64; ++i)
        if (r.U8At(i)) return false;
    m_nVolumeLength = r.U64At(72);
    m_nFatOffset = r.U32At(80);
    m_nFatLength = r.U32At(84);
    m_nHeapOffset = r.U32At(88);
    m_nClusterCount = r.U32At(92);
    m_nRootCluster = r.U32At(96);
    m_nSerial = r.U32At(100);
    m_nRevision = r.U16At(104);
    m_nVolumeFlags = r.U16At(kVolumeFlagsAt);
    m_nSectorShift = r.U8At(108);
    m_nClusterShift = r.U8At(109);
    m_nFatCount = r.U8At(110);

    if (m_nSectorShift < 9 || m_nSectorShift > 12 || m_nClusterShift > 25 - m_nSectorShift) return false;
    if ((m_nRevision >> 8) != 1 || (m_nFatCount != 1 && m_nFatCount != 2)) return false;
    uint32_t nBytes = 1u << m_nSectorShift;
    if (nDevSectorSize == 0 || nBytes < nDevSectorSize || nBytes % nDevSectorSize) return false;
    m_nScale = nBytes / nDevSectorSize;

    if (m_nClusterCount == 0 || m_nClusterCount > kMaxClusters || m_nFatOffset < 24) return false;
    if (m_nRootCluster < 2 || m_nRootCluster - 2 >= m_nClusterCount) return false;
    // The FAT holds an entry per cluster and the two reserved ones; the heap follows every copy.
    uint64_t nFatNeed = ((uint64_t(m_nClusterCount) + 2) * 4 + nBytes - 1) / nBytes;
    if (m_nFatLength < nFatNeed) return false;
    if (m_nHeapOffset < uint64_t(m_nFatOffset) + uint64_t(m_nFatLength) * m_nFatCount) return false;
    uint64_t nHeapEnd = m_nHeapOffset + (uint64_t(m_nClusterCount) << m_nClusterShift);
    return m_nVolumeLength >= (uint64_t(1) << 20) / nBytes && nHeapEnd <= m_nVolumeLength;
}

bool CKivExFatBootSector::MakeGeometry(uint64_t nFirst, uint64_t nDevSectors, KivExFatGeometry* pOut) const {
    if (nFirst >= nDevSectors) return false;
    KivExFatGeometry g;
    g.nFirstSector = nFirst;
    uint64_t nLen = 0;
    if (KivMulOverflows(m_nVolumeLength, m_nScale, &nLen)) nLen = ~0ull;
    g.nSectorCount = std::min(nLen, nDevSectors - nFirst);
    g.nFatOffset = uint64_t(m_nFatOffset) * m_nScale;
    g.nFatSectors = uint64_t(m_nFatLength) * m_nScale;
    g.nHeapStart = nFirst + uint64_t(m_nHeapOffset) * m_nScale;
    g.nSecPerClus = (1u << m_nClusterShift) * m_nScale;
    g.nClusterCount = m_nClusterCount;
    g.nRootCluster = m_nRootCluster;
    g.nSerial = m_nSerial;
    g.nFatCount = m_nFatCount;
    // Nothing of the volume is left when the device ends before its heap.
    if (g.nHeapStart >= nDevSectors) return false;
    *pOut = g;
    return true;
}

uint32_t CKivExFatBootSector::AddToChecksum(uint32_t nSum, std::span<const uint8_t> bytes, uint64_t nRegionOffset) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint64_t nAt = nRegionOffset + i;
        if (nAt == kVolumeFlagsAt || nAt == kVolumeFlagsAt + 1 || nAt == kPercentInUseAt) continue;
        nSum = ((nSum & 1) ? 0x80000000u : 0) + (nSum >> 1) + bytes[i];
    }
    return nSum;
}
