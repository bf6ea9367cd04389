// The allocation bitmap of an exFAT volume: one bit per cluster of the heap, set when allocated.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

class CKivExFatBitmap {
public:
    // A bitmap for nClusters clusters; clusters the stored bitmap does not cover (it may be short or
    // missing) count as free.
    void Load(std::span<const uint8_t> bytes, uint32_t nClusters);
    bool IsLoaded() const { return m_bLoaded; }

    // nCluster counts from 2, as entries do.
    bool IsAllocated(uint64_t nCluster) const {
        uint64_t i = nCluster - 2;
        return nCluster >= 2 && i < m_nClusters && ((m_bits[i / 64] >> (i % 64)) & 1);
    }
    // The first free cluster at or after nCluster, or 0 when there is none before the heap ends.
    uint64_t NextFree(uint64_t nCluster) const;
    uint32_t ClusterCount() const { return m_nClusters; }
    // Calls fn(first, count) for every stretch of allocated clusters (first counts from 2).
    template <class Fn>
    void ForEachAllocated(Fn&& fn) const {
        for (uint64_t i = 0; i < m_nClusters;) {
            if (!((m_bits[i / 64] >> (i % 64)) & 1)) {
                i = (i % 64 == 0 && m_bits[i / 64] == 0) ? i + 64 : i + 1;
                continue;
            }
            uint64_t j = i + 1;
            while (j < m_nClusters && ((m_bits[j / 64] >> (j % 64)) & 1)) j = (j % 64 == 0 && m_bits[j / 64] == ~0ull) ? j + 64 : j + 1;
            j = std::min<uint64_t>(j, m_nClusters);
            fn(i + 2, j - i);
            i = j;
        }
    }

private:
    std::vector<uint64_t> m_bits;
    std::vector<uint64_t> m_full;  // one bit per word of m_bits: set when every bit of it is set
    uint32_t m_nClusters = 0;
    bool m_bLoaded = false;
};
