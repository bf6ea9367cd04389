// Shared helpers of the FAT tests: the images made by scripts/make-fat-images, a scan of an image
// by the FAT scanner alone, the tree built from it, and lookups in that tree.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Fat/CKivFATScanner.h"
#include "KivMemDevStor.h"
#include "KivScanPass.h"
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
    KivScanPass(pOut->pScanner, pStor, nBlock);
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

// An image of ImageDir() scanned, its best partition and the tree built from it.
struct Built {
    std::unique_ptr<KivFileDevStor> pStor;
    ScanResult scan;
    IKivFsNode* pRoot = nullptr;
    CKivScanResPartFAT* pPart = nullptr;
    ~Built() { KivSafeRelease(pRoot); }
};

inline void BuildImage(const std::string& name, Built* b, uint32_t nSectorSize = 512) {
    ASSERT_FALSE(ImageDir().empty()) << "scripts/make-fat-images failed";
    b->pStor = std::make_unique<KivFileDevStor>(ImageDir() + "/" + name, nSectorSize);
    ASSERT_TRUE(b->pStor->IsOpen());
    Scan(b->pStor.get(), &b->scan);
    b->pPart = Best(b->scan);
    ASSERT_NE(b->pPart, nullptr);
    b->pRoot = b->scan.pScanner->BuildTree(b->pPart, b->pStor.get(), 0, nullptr);
    ASSERT_NE(b->pRoot, nullptr);
}

// What the script put at path on the image's volume.
inline std::vector<uint8_t> Source(const std::string& image, const std::string& path) {
    return ReadFile(ImageDir() + "/src/" + image + "/" + path);
}

// The file the tree shows at shown comes back byte-identical to the source the script left at
// path, with the state given, and not marked damaged when bUndamaged.
inline void ExpectFile(Built& b, const std::string& image, const std::string& shown, const std::string& path,
                       bool bDeleted, bool bUndamaged = true) {
    IKivFileNode* p = Find(b.pRoot, shown);
    ASSERT_NE(p, nullptr) << shown << " missing; tree:\n" << Dump(b.pRoot);
    EXPECT_EQ((p->GetAttr()->GetRecordState() & KIV_REC_DELETED) != 0, bDeleted) << shown;
    if (bUndamaged) {
        EXPECT_FALSE(p->GetAttr()->GetRecordState() & KIV_REC_DAMAGED) << shown;
    }
    std::vector<uint8_t> want = Source(image, path);
    ASSERT_FALSE(want.empty()) << path;
    EXPECT_TRUE(ReadNode(p, b.pStor.get()) == want) << shown << " differs";
}

}  // namespace kivfat_test
