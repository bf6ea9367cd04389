// A whole small device through the NTFS scanner: boot sectors, restart pages and records found in
// every block, the candidates proposed, and the MFT of each read into a tree.
#include <algorithm>

#include "KivFuzzSupport.h"
#include "Ntfs/CKivNTFSScanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto* dev = new KivFuzzDevStor({data, size});
    auto* scanner = static_cast<CKivNTFSScanner*>(CreateNtfsScanner());
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
    // The best-supported candidates first, as the engine's selection would keep them.
    std::stable_sort(parts.begin(), parts.end(), [](CKivScanResPart* a, CKivScanResPart* b) {
        return a->m_nEvidenceC + 50 * a->m_nEvidenceB > b->m_nEvidenceC + 50 * b->m_nEvidenceB;
    });
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i < 4)
            if (IKivFsNode* root = scanner->BuildTree(parts[i], dev, 0, nullptr)) root->Release();
        delete parts[i];
    }
    scanner->Release();
    dev->Release();
    return 0;
}
