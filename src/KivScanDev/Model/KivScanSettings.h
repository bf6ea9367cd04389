// Library-wide carving settings, filled at the start of every scan.
#pragma once

#include <cstdint>
#include <vector>

struct KivScanSettings {
    KivScanSettings();  // the defaults below

    std::vector<uint32_t> selectedTypeIds;  // default 1..73
    uint64_t nMaxCarvedSize = 50000000;
    bool bCarvedSubtree = true;

    bool IsTypeSelected(uint32_t nId) const;
    static KivScanSettings& Get();  // process-wide; only one scan or build at a time
};
