#include "CSectorRangeMask.h"

void CSectorRangeMask::Add(uint64_t nFirst, uint64_t nCount) {
    uint64_t nEnd = 0;
    if (__builtin_add_overflow(nFirst, nCount, &nEnd)) nEnd = ~0ull;
    if (nEnd > nFirst) m_ranges.push_back({nFirst, nEnd});
}

int CSectorRangeMask::IsClusterUsed(uint64_t nSector) {
    // A handful of partitions: a linear look is cheaper than keeping the ranges sorted.
    for (const Range& r : m_ranges)
        if (nSector >= r.nFirst && nSector < r.nEnd) return 1;
    return 0;
}
