// The file allocation table of an exFAT volume: 32-bit entries, one per cluster of the heap.
#pragma once

#include <cstdint>
#include <vector>

#include "IKivDevStor.h"

class CKivExFatTable {
public:
    static constexpr uint32_t kBad = 0xFFFFFFF7u;
    static constexpr uint32_t kEnd = 0xFFFFFFFFu;
    // What one build may hold in memory (64 Mi clusters); larger tables are not loaded and
    // chained entries are then taken as contiguous.
    static constexpr uint64_t kMaxEntries = uint64_t(64) << 20;

    // Reads the table of nClusters clusters at nFirstSector. Answers false, holding nothing, when
    // it is too large, a read fails or its first two entries are not a FAT's.
    bool Load(IKivDevStor* pStor, uint64_t nFirstSector, uint32_t nClusters);
    bool IsLoaded() const { return !m_entries.empty(); }

    // The stored entry; 0 for clusters outside the table.
    uint32_t Entry(uint32_t nCluster) const { return nCluster < m_entries.size() ? m_entries[nCluster] : 0; }
    // The cluster that follows in a chain, or 0 at its end (end mark, bad or free cluster, or a
    // value outside the heap).
    uint32_t Next(uint32_t nCluster) const;

    // The first sector of a table: media descriptor 0xF8, then an end mark.
    static bool IsTableStart(uint32_t nEntry0, uint32_t nEntry1) { return nEntry0 == 0xFFFFFFF8u && nEntry1 == kEnd; }

private:
    std::vector<uint32_t> m_entries;
};
