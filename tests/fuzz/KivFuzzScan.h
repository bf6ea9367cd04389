// The tree targets' shared walk: one file-system scanner fed the whole input as the engine's scan
// pass feeds it, then the trees of its best-supported candidates built and released.
#pragma once

#include <algorithm>
#include <vector>

#include "IKivFsScanner.h"
#include "KivFuzzSupport.h"
#include "KivScanPass.h"

// Takes the caller's reference to pScanner. At most nMaxTrees trees are built, the candidates with
// the most evidence first, as the engine's selection would keep them.
inline void KivFuzzScanAndBuild(IKivFsScanner* pScanner, std::span<const uint8_t> input, size_t nMaxTrees) {
    auto* dev = new KivFuzzDevStor(input);
    KivScanPass(pScanner, dev, 2048);
    std::vector<CKivScanResPart*> parts;
    pScanner->EnumParts(&parts);
    std::stable_sort(parts.begin(), parts.end(), [](CKivScanResPart* a, CKivScanResPart* b) {
        return a->m_nEvidenceC + 50 * a->m_nEvidenceB > b->m_nEvidenceC + 50 * b->m_nEvidenceB;
    });
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i < nMaxTrees)
            if (IKivFsNode* root = pScanner->BuildTree(parts[i], dev, 0, nullptr)) root->Release();
        delete parts[i];
    }
    pScanner->Release();
    dev->Release();
}
