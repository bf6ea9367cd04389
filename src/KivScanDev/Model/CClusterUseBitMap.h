// One bit per cluster of a partition's data area.
#pragma once

#include <cstdint>
#include <vector>

#include "IIsClusterUsed.h"
#include "KivCommon.h"

class CClusterUseBitMap : public IIsClusterUsed {
public:
    // Covers nClusters clusters of nSecPerClus sectors from nFirstSector, all free. Answers an error
    // for 0 sectors per cluster, more than 2^33 clusters, or when the bitmap cannot be allocated.
    KivResult Init(uint64_t nFirstSector, uint32_t nSecPerClus, uint64_t nClusters);
    // Marks clusters (relative to the area, 0-based) used; parts beyond the count are ignored.
    void SetUsed(uint64_t nCluster, uint64_t nCount = 1);
    bool IsUsed(uint64_t nCluster) const;
    // Whether any of the clusters is used; parts beyond the count are not looked at. A few hundred
    // word reads whatever the length: runs from disk may claim the whole volume, again and again.
    bool AnyUsed(uint64_t nCluster, uint64_t nCount);
    int IsClusterUsed(uint64_t nSector) override;

    uint64_t GetClusterCount() const { return m_nClusters; }

private:
    uint64_t m_nFirstSector = 0;
    uint32_t m_nSecPerClus = 1;
    uint64_t m_nClusters = 0;
    std::vector<uint64_t> m_bits;
    // Used clusters before each block of kBlockWords words, made when first asked after a change.
    static constexpr uint64_t kBlockWords = 64;
    std::vector<uint64_t> m_blockPrefix;
    bool m_bPrefixValid = false;
};
