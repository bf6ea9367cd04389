// One scanner fed the whole storage as the engine's pass feeds it: the storage and block size
// given, then every block in ascending order between BeginScan and EndScan.
#pragma once

#include <algorithm>
#include <cstdint>

#include "IKivFsScanner.h"

// pStats: the pass's KIV_SCAN_STAT_COUNT counters, added to (may be null).
inline void KivScanPass(IKivFsScanner* pScanner, IKivDevStor* pStor, uint32_t nBlock, uint64_t* pStats = nullptr) {
    uint64_t own[KIV_SCAN_STAT_COUNT] = {};
    if (!pStats) pStats = own;
    pScanner->SetStorage(pStor);
    pScanner->SetBlockSectors(nBlock);
    pScanner->BeginScan();
    uint64_t n = pStor->GetSectorCount();
    for (uint64_t s = 0; s < n; s += nBlock) pScanner->AnalyzeBlock(s, std::min<uint64_t>(nBlock, n - s), pStats);
    pScanner->EndScan();
}
