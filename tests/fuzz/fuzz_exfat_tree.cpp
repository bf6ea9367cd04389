// A whole small device through the exFAT scanner: boot regions with their checksums, FATs, up-case
// tables and directory sectors found in every block, the candidates proposed, and the tree of each
// built (entry sets, deleted and lost folders).
#include <algorithm>

#include "ExFat/CKivExFATScanner.h"
#include "KivFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto* dev = new KivFuzzDevStor({data, size});
    auto* scanner = static_cast<CKivExFATScanner*>(CreateExFatScanner());
    const uint32_t block = 2048;
    scanner->SetStorage(dev);
    scanner->SetBlockSectors(block);
    scanner->BeginScan();
    uint64_t stats[16] = {};
    uint64_t n = dev->GetSectorCount();
    for (uint64_t s = 0; s < n; s += block) scanner->AnalyzeBlock(s, std::min<uint64_t>(block, n - s), stats);
    scanner->EndScan();
    std::vector<CKivScanResPart*> parts;
    scanner->EnumParts(&parts);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i < 8)
            if (IKivFsNode* root = scanner->BuildTree(parts[i], dev, 0, nullptr)) root->Release();
        delete parts[i];
    }
    scanner->Release();
    dev->Release();
    return 0;
}
