#include "KivScanSettings.h"

#include <algorithm>

KivScanSettings::KivScanSettings() {
    for (uint32_t nId = 1; nId <= 73; ++nId) selectedTypeIds.push_back(nId);
}

bool KivScanSettings::IsTypeSelected(uint32_t nId) const {
    return std::find(selectedTypeIds.begin(), selectedTypeIds.end(), nId) != selectedTypeIds.end();
}

KivScanSettings& KivScanSettings::Get() {
    static KivScanSettings s_settings;
    return s_settings;
}
