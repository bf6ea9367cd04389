// A whole small device through the FAT scanner: every block analysed, the candidates proposed,
// and the tree of each built (deleted entries, reconstructed folders, long names, recycle bins).
#include <memory>

#include "Fat/CKivFATScanner.h"
#include "KivFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto* dev = new KivFuzzDevStor({data, size});
    auto* scanner = new CKivFATScanner();
    const uint32_t block = 2048;
    scanner->SetStorage(dev);
    scanner->SetBlockSectors(block);
    uint64_t stats[16] = {};
    uint64_t n = dev->GetSectorCount();
    for (uint64_t s = 0; s < n; s += block) scanner->AnalyzeBlock(s, std::min<uint64_t>(block, n - s), stats);
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
