// File allocation tables as the tree builder sees them: one entry per cluster, normalised so that
// the three entry widths answer the same bad and end values.
#pragma once

#include <cstdint>

constexpr uint32_t KIV_FAT_BAD = 0x0FFFFFF7u;
constexpr uint32_t KIV_FAT_EOC = 0x0FFFFFF8u;
constexpr uint32_t KIV_FAT_FREE = 0;

class IKivFATTable {
public:
    virtual ~IKivFATTable() = default;
    // KIV_FAT_BAD, KIV_FAT_EOC, or the stored value (0 = free). Clusters beyond the table answer 0.
    virtual uint32_t GetEntry(uint32_t nCluster) = 0;
};

// A table read whole from the device.
class IKivRealFatTable : public IKivFATTable {
public:
    // The kind's own check of the first entries (and, for FAT16/32, of the chain structure).
    virtual bool IsValid() = 0;
};
