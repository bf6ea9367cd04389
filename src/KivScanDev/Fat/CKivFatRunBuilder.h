// Data runs of FAT entries (cluster starts relative to cluster 2) and the clusters of directories.
#pragma once

#include <cstdint>
#include <vector>

#include "IKivFATTable.h"
#include "KivScanResult.h"

class CKivFatRunBuilder {
public:
    // pTable may be null (no usable allocation table). nDataClusters: clusters of the data area.
    // nRunBudget 0: the default budget for that many clusters (below).
    CKivFatRunBuilder(IKivFATTable* pTable, uint64_t nDataClusters, uint64_t nClusterBytes, uint64_t nRunBudget = 0);

    // A live entry: its chain, then the rest assumed contiguous after the last run.
    std::vector<KivDataRun> ChainRuns(uint32_t nFirst, uint64_t nSize);
    // A deleted entry: clusters F, F + 1, ... that are free in the table (bad and allocated ones are
    // skipped, they cannot hold the file's surviving data) until nSize bytes are covered, never more
    // clusters than the data area has.
    std::vector<KivDataRun> DeletedRuns(uint32_t nFirst, uint64_t nSize);

    // Every entry may have one run; the runs after the first come out of one budget per builder,
    // so that entries stating huge sizes over a fragmented table cannot use up the memory. Once it
    // is spent an entry's runs end early (nothing is assumed), and recovery reports the file as
    // damaged rather than filling it with guesses.
    static constexpr uint64_t kMinRunBudget = 4u << 20;
    uint64_t RunBudgetLeft() const { return m_nRunBudget; }
    // Clusters of a directory: its chain, at most nMaxClusters, each once.
    std::vector<uint32_t> DirClusters(uint32_t nFirst, uint32_t nMaxClusters);

    // The first free cluster after c (absolute numbers), or 0 when there is none.
    uint32_t NextFreeAfter(uint32_t c);

    bool HasTable() const { return m_pTable != nullptr; }
    bool IsDataCluster(uint64_t c) const { return c >= 2 && c - 2 < m_nClusters; }
    uint32_t GetEntry(uint32_t c) { return m_pTable ? m_pTable->GetEntry(c) : KIV_FAT_FREE; }

private:
    // Next cluster at or after c (data area, relative to cluster 2) whose entry is free, or the
    // data-area size when there is none.
    uint64_t NextFree(uint64_t c);
    // First cluster in [c, nLimit) that is not free, or nLimit.
    uint64_t FreeEnd(uint64_t c, uint64_t nLimit);
    // Takes one run after an entry's first from the budget; false when it is spent.
    bool TakeRun();
    void BuildFreeMap();
    static void AddRun(std::vector<KivDataRun>* pRuns, uint64_t nStart, uint64_t nLen);

    IKivFATTable* m_pTable;
    uint64_t m_nClusters;
    uint64_t m_nClusterBytes;
    // One bit per data cluster (set = free), and one bit per word of it (set = some free bit).
    std::vector<uint64_t> m_free;
    std::vector<uint64_t> m_freeWords;
    bool m_bFreeMapBuilt = false;
    uint64_t m_nRunBudget;
};
