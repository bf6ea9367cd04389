// Tells the carved-files builder which sectors belong to files a file-system scanner found.
#pragma once

#include <cstdint>

class IIsClusterUsed {
public:
    virtual ~IIsClusterUsed() = default;
    // 1 when the sector lies in a used cluster or outside the covered area, else 0.
    virtual int IsClusterUsed(uint64_t nSector) = 0;
};
