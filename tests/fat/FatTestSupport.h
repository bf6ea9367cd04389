// Shared helpers of the FAT tests: the images made by scripts/make-fat-images, a scan of an image
// by the FAT scanner alone, and lookups in the built tree.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Fat/CKivFATScanner.h"
#include "KivMemDevStor.h"
#include "KivTestImages.h"
#include "KivTestTree.h"
#include "Model/CRawFileInfo.h"

namespace kivfat_test {

using kivtest::Child;
using kivtest::Dump;
using kivtest::Find;
using kivtest::ReadFile;

// Folder holding the generated images. They are made once per build tree and made again when the
// script changes; a lock keeps test processes running side by side from racing.
inline const std::string& ImageDir() {
    static std::string dir = KivTestImageDir("make-fat-images", "fat-test-images");
    return dir;
}

struct ScanResult {
    std::vector<std::unique_ptr<CKivScanResPart>> parts;
    CKivFATScanner* pScanner = nullptr;
    ~ScanResult() { KivSafeRelease(pScanner); }
};

// Feeds the whole storage to a new FAT scanner in blocks and collects its partitions.
inline void Scan(IKivDevStor* pStor, ScanResult* pOut, uint32_t nBlock = 8192) {
    pOut->pScanner = new CKivFATScanner();
    pOut->pScanner->SetStorage(pStor);
    pOut->pScanner->SetBlockSectors(nBlock);
    uint64_t stats[16] = {};
    uint64_t n = pStor->GetSectorCount();
    for (uint64_t s = 0; s < n; s += nBlock) pOut->pScanner->AnalyzeBlock(s, std::min<uint64_t>(nBlock, n - s), stats);
    std::vector<CKivScanResPart*> parts;
    pOut->pScanner->EnumParts(&parts);
    for (auto* p : parts) pOut->parts.emplace_back(p);
}

// The partition with the most evidence (what the engine's scoring would put first).
inline CKivScanResPartFAT* Best(ScanResult& r) {
    CKivScanResPartFAT* pBest = nullptr;
    uint64_t nBest = 0;
    for (auto& p : r.parts) {
        uint64_t v = 50 * p->m_nEvidenceB + p->m_nEvidenceC + p->m_nEvidenceA;
        if (!pBest || v > nBest) {
            pBest = static_cast<CKivScanResPartFAT*>(p.get());
            nBest = v;
        }
    }
    return pBest;
}

// The file's bytes read through its data runs, cut to its size.
inline std::vector<uint8_t> ReadNode(IKivFileNode* pNode, IKivDevStor* pStor) {
    std::vector<uint8_t> out;
    uint64_t nBase = 0;
    uint32_t nSpc = 0;
    pNode->GetPartInfo(&nBase, &nSpc);
    std::unique_ptr<IDataRunList> runs(pNode->GetAttr()->GetDataRunList());
    uint64_t nSize = pNode->GetAttr()->GetSize();
    uint32_t z = pStor->GetSectorSize();
    for (const KivDataRun* r = runs ? runs->First() : nullptr; r && out.size() < nSize; r = runs->Next()) {
        std::vector<uint8_t> buf(r->nLength * nSpc * z);
        if (!pStor->ReadSectors(buf.data(), nBase + r->nStart * nSpc, r->nLength * nSpc)) break;
        out.insert(out.end(), buf.begin(), buf.end());
    }
    if (out.size() > nSize) out.resize(nSize);
    return out;
}

}  // namespace kivfat_test
