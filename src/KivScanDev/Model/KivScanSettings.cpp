#include "KivScanSettings.h"

#include <algorithm>

#include "Model/RawTypeTable.h"

KivScanSettings::KivScanSettings() {
    // Every fixed type but the user-defined headers' id 74.
    for (uint32_t nId = 1; nId < RawTypeTable::kFixedCount; ++nId)
        if (nId != 74) selectedTypeIds.push_back(nId);
}

bool KivScanSettings::IsTypeSelected(uint32_t nId) const {
    return std::find(selectedTypeIds.begin(), selectedTypeIds.end(), nId) != selectedTypeIds.end();
}

KivScanSettings& KivScanSettings::Get() {
    static KivScanSettings s_settings;
    return s_settings;
}
