// Data runs of exFAT entries (starts relative to cluster 2, as the partition node's base is the
// heap) and what is known about their clusters.
#pragma once

#include <cstdint>
#include <vector>

#include "CKivExFatBitmap.h"
#include "CKivExFatTable.h"
#include "KivScanResult.h"
#include "Model/CKivFileAttrExFAT.h"

class CKivExFatRunBuilder {
public:
    struct Result {
        std::vector<KivDataRun> runs;
        CKivFileAttrExFAT::Damage damage = CKivFileAttrExFAT::kIntact;
    };

    // Borrowed; the table and bitmap may be unloaded.
    CKivExFatRunBuilder(const CKivExFatTable* pFat, const CKivExFatBitmap* pBitmap, uint32_t nClusters,
                        uint64_t nClusterBytes);

    // An entry in use: contiguous without a FAT chain, else its chain (the rest assumed contiguous
    // when the chain ends early).
    Result Live(uint32_t nFirst, uint64_t nBytes, bool bNoFatChain) const;
    // A deleted entry. Contiguous without a FAT chain. A chained one keeps its chain when the table
    // still holds it whole (deleting frees the bitmap, not the table); otherwise its clusters are
    // taken as the free ones from the first on. Clusters allocated again are reported as reuse.
    Result Deleted(uint32_t nFirst, uint64_t nBytes, bool bNoFatChain) const;
    // The clusters of a chain from nFirst, each once, at most nMax (the root directory has no size).
    std::vector<uint32_t> ChainClusters(uint32_t nFirst, uint64_t nMax) const;

    bool IsHeapCluster(uint64_t c) const { return c >= 2 && c - 2 < m_nClusters; }
    uint64_t ClusterBytes() const { return m_nClusterBytes; }
    uint64_t ClustersFor(uint64_t nBytes) const { return nBytes / m_nClusterBytes + (nBytes % m_nClusterBytes != 0); }
    // Clusters of runs, in file order.
    static std::vector<uint32_t> ClustersOf(const std::vector<KivDataRun>& runs);

private:
    Result Contiguous(uint32_t nFirst, uint64_t nCount) const;
    // Follows the table for at most nCount clusters; bExact asks for a chain of exactly nCount
    // that ends with the end mark. Answers false when the chain loops or leaves the heap.
    bool Follow(uint32_t nFirst, uint64_t nCount, bool bExact, std::vector<KivDataRun>* pRuns, uint64_t* pTaken,
                uint32_t* pLast) const;
    bool AnyAllocated(const std::vector<KivDataRun>& runs) const;
    static void Add(std::vector<KivDataRun>* pRuns, uint64_t nStart, uint64_t nLen);

    const CKivExFatTable* m_pFat;
    const CKivExFatBitmap* m_pBitmap;
    uint32_t m_nClusters;
    uint64_t m_nClusterBytes;
};
