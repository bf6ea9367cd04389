// Library-wide carving settings, filled at the start of every scan.
#pragma once

#include <cstdint>
#include <vector>

struct KivScanSettings {
    KivScanSettings();  // the defaults below

    std::vector<uint32_t> selectedTypeIds;  // default every fixed id from 1 but 74
    uint64_t nMaxCarvedSize = 50000000;
    bool bCarvedSubtree = true;
    // Files found by user-defined headers carry no size: they run to the next carved file's start,
    // at most this many bytes.
    uint64_t nMaxCustomSize = 10ull * 1024 * 1024;

    bool IsTypeSelected(uint32_t nId) const;
    static KivScanSettings& Get();  // process-wide; only one scan or build at a time
};
