// Sector ranges taken as used: keeps the carved files that lie inside them out of a carved-files
// subtree (the space outside the partitions whose trees were built).
#pragma once

#include <cstdint>
#include <vector>

#include "IIsClusterUsed.h"

class CSectorRangeMask : public IIsClusterUsed {
public:
    // Sectors [nFirst, nFirst + nCount) are used; the end saturates at the last sector number.
    void Add(uint64_t nFirst, uint64_t nCount);
    // 1 inside any range added, else 0.
    int IsClusterUsed(uint64_t nSector) override;

private:
    struct Range {
        uint64_t nFirst, nEnd;  // nEnd exclusive
    };
    std::vector<Range> m_ranges;
};
