// The brief of an exFAT volume: its boot sector and the label entry of its root folder.
#pragma once

#include <cstdint>
#include <vector>

#include "CKivVolBriefBase.h"

class CKivVolBriefExFat : public CKivVolBriefBase {
public:
    CKivVolBriefExFat(IKivDevStor* pDev, uint64_t nFirst);

    // Root folders longer than this many clusters are not searched further (a chain may loop).
    static constexpr uint32_t kMaxRootClusters = 65536;

private:
    // Walks one cluster of root entries; true when the search is over (label found or none).
    bool ScanEntries(const std::vector<uint8_t>& cluster);
};
