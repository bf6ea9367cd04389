// Hostile volumes: a folder that holds itself or its parent, a looping chain, absurd geometry and
// a cancelled build all end cleanly.
#include <cstring>

#include "Fat/CKivFatBootSector.h"
#include "Fat/CKivFatDirEntry.h"
#include "FatTestSupport.h"
#include "KivAllocCounter.h"

using namespace kivfat_test;

namespace {

struct Floppy {
    std::vector<uint8_t> img;
    KivFatGeometry g;
    uint64_t Off(uint32_t cluster) const { return (g.nDataStart + uint64_t(cluster - 2) * g.nSecPerClus) * 512; }
    // Byte offset of the first live short entry with this 11-byte name.
    size_t FindEntry(const char* name11) const {
        for (size_t off = 0; off + 32 <= img.size(); off += 32)
            if (std::memcmp(&img[off], name11, 11) == 0) return off;
        return std::string::npos;
    }
    uint32_t ClusterOf(const char* name11) const {
        size_t off = FindEntry(name11);
        return off == std::string::npos ? 0 : img[off + 26] | (img[off + 27] << 8);
    }
    void SetFat12(uint32_t c, uint32_t v) {
        for (uint64_t fat : {g.nFirstSector + g.nReserved, g.nFirstSector + g.nReserved + g.nSectorsPerFat}) {
            uint8_t* p = &img[fat * 512 + c * 3 / 2];
            uint16_t w = uint16_t(p[0] | (p[1] << 8));
            w = (c & 1) ? uint16_t((w & 0x000F) | (v << 4)) : uint16_t((w & 0xF000) | (v & 0xFFF));
            p[0] = uint8_t(w), p[1] = uint8_t(w >> 8);
        }
    }
};

void LoadFloppy(Floppy* f) {
    ASSERT_FALSE(ImageDir().empty());
    f->img = ReadFile(ImageDir() + "/fat12.img");
    CKivFatBootSector bs;
    ASSERT_TRUE(bs.Parse(std::span<const uint8_t>(f->img.data(), 512), 512));
    ASSERT_TRUE(bs.MakeGeometry(0, f->img.size() / 512, &f->g));
}

IKivFsNode* BuildFrom(KivMemDevStor* pStor, ScanResult* pScan, IKivEnumResFilesCallback* pCb = nullptr) {
    Scan(pStor, pScan);
    CKivScanResPartFAT* p = Best(*pScan);
    return p ? pScan->pScanner->BuildTree(p, pStor, 0, pCb) : nullptr;
}

}  // namespace

TEST(FatHostile, FolderHoldingItselfOrItsParent) {
    Floppy f;
    LoadFloppy(&f);
    uint32_t nDocs = f.ClusterOf("DOCS       ");
    uint32_t nOld = f.ClusterOf("OLD        ");
    ASSERT_GE(nDocs, 2u);
    ASSERT_GE(nOld, 2u);
    // Two more entries in Docs/Old: one naming Old itself, one naming Docs.
    size_t slot = f.Off(nOld);
    while (f.img[slot] != 0) slot += 32;
    const char* names[] = {"SELF       ", "UP         "};
    uint32_t clusters[] = {nOld, nDocs};
    for (int i = 0; i < 2; ++i, slot += 32) {
        std::memset(&f.img[slot], 0, 32);
        std::memcpy(&f.img[slot], names[i], 11);
        f.img[slot + 11] = 0x10;
        f.img[slot + 26] = uint8_t(clusters[i]), f.img[slot + 27] = uint8_t(clusters[i] >> 8);
    }
    KivMemDevStor stor(f.img);
    ScanResult scan;
    IKivFsNode* pRoot = BuildFrom(&stor, &scan);
    ASSERT_NE(pRoot, nullptr);
    EXPECT_NE(Find(pRoot, "Docs/Old/letter.txt"), nullptr) << Dump(pRoot);
    EXPECT_EQ(Find(pRoot, "Docs/Old/SELF"), nullptr);
    // The live Docs folder keeps its place; the second name for it is dropped.
    EXPECT_EQ(Find(pRoot, "Docs/Old/UP"), nullptr) << Dump(pRoot);
    EXPECT_NE(Find(pRoot, "Docs/report 2024.doc"), nullptr);
    pRoot->Release();
}

TEST(FatHostile, LoopingChainEnds) {
    Floppy f;
    LoadFloppy(&f);
    uint32_t c = f.ClusterOf("README  TXT");
    ASSERT_GE(c, 2u);
    f.SetFat12(c + 1, c);  // README.TXT's second cluster leads back to its first
    KivMemDevStor stor(f.img);
    ScanResult scan;
    IKivFsNode* pRoot = BuildFrom(&stor, &scan);
    ASSERT_NE(pRoot, nullptr);
    IKivFileNode* p = Find(pRoot, "README.TXT");
    ASSERT_NE(p, nullptr);
    std::unique_ptr<IDataRunList> runs(p->GetAttr()->GetDataRunList());
    uint64_t n = 0;
    for (const KivDataRun* r = runs->First(); r; r = runs->Next()) n += r->nLength;
    EXPECT_LE(n, f.g.nClusterCount);
    pRoot->Release();
}

TEST(FatHostile, AbsurdGeometryStaysInsideTheDevice) {
    Floppy f;
    LoadFloppy(&f);
    KivMemDevStor stor(f.img);
    CKivFATScanner sc;
    sc.SetStorage(&stor);
    for (uint32_t spc : {1u, 128u}) {
        CKivScanResPartFAT part(KIV_FS_FAT16, 512);
        part.m_nSecPerClus = uint8_t(spc);
        part.m_nFirstSector = 2000;
        part.m_nDataStart = 1ull << 40;
        part.m_nSectorCount = ~0ull >> 2;
        part.m_nReservedSectors = 0xFFFF;
        part.m_nSectorsPerFat = 0xFFFFFFF0u;
        part.m_nRoot = 0xFFFFFFFFu;
        part.m_nEvidenceFlags = 0x3C2;
        IKivFsNode* pRoot = sc.BuildTree(&part, &stor, 0, nullptr);
        ASSERT_NE(pRoot, nullptr);
        pRoot->Release();
    }
    CKivScanResPartFAT zero(KIV_FS_FAT32, 512);
    EXPECT_EQ(sc.BuildTree(&zero, &stor, 0, nullptr), nullptr);  // no cluster size
}

TEST(FatHostile, CancelledBuildAnswersNothing) {
    struct Cancel : IKivEnumResFilesCallback {
        int SetPhase(const char*, uint64_t) override { return 0; }
        int SetProgress(uint64_t) override { return 0; }
        void OnPhaseEnd() override {}
        int IsCancelled() override { return -1; }
    } cb;
    Floppy f;
    LoadFloppy(&f);
    KivMemDevStor stor(f.img);
    ScanResult scan;
    EXPECT_EQ(BuildFrom(&stor, &scan, &cb), nullptr);
}

TEST(FatHostile, CorruptedMetadataNeverCrashes) {
    // Random bytes over the boot sector, the tables and the directories, then scan and build every
    // proposed volume: each build must end, whatever it finds.
    Floppy f;
    LoadFloppy(&f);
    uint64_t nMeta = f.Off(f.ClusterOf("DOCS       ") + 40);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> img = f.img;
        for (int k = 0; k < 200; ++k) img[next() % nMeta] = uint8_t(next() >> 16);
        KivMemDevStor stor(img);
        ScanResult scan;
        Scan(&stor, &scan);
        for (auto& p : scan.parts) {
            IKivFsNode* pRoot = scan.pScanner->BuildTree(p.get(), &stor, 0, nullptr);
            if (pRoot) pRoot->Release();
        }
    }
}

TEST(FatHostile, DeletedEntriesStatingHugeSizesStayBounded) {
    // 8,000 deleted entries of 4 GiB each in a folder of a 32 MB FAT16 volume whose free clusters
    // alternate with allocated ones: every claim would cover thousands of one-cluster runs.
    ASSERT_FALSE(ImageDir().empty());
    std::vector<uint8_t> img = ReadFile(ImageDir() + "/fat16.img");
    CKivFatBootSector bs;
    KivFatGeometry g;
    ASSERT_TRUE(bs.Parse(std::span<const uint8_t>(img.data(), 512), 512));
    ASSERT_TRUE(bs.MakeGeometry(0, img.size() / 512, &g));
    ASSERT_EQ(g.nType, KIV_FS_FAT16);
    auto fat = [&](int k, uint32_t c) { return &img[(g.nFirstSector + g.nReserved + k * g.nSectorsPerFat) * 512 + 2 * c]; };
    auto setFat = [&](uint32_t c, uint16_t v) {
        for (int k = 0; k < 2; ++k) fat(k, c)[0] = uint8_t(v), fat(k, c)[1] = uint8_t(v >> 8);
    };
    auto isFree = [&](uint32_t c) { return fat(0, c)[0] == 0 && fat(0, c)[1] == 0; };
    const uint32_t nEntries = 8000, nClusterBytes = g.nSecPerClus * 512;
    const uint32_t nDirClusters = (nEntries * 32 + nClusterBytes - 1) / nClusterBytes;
    const uint32_t nDirFirst = g.nClusterCount + 2 - nDirClusters;
    for (uint32_t i = 0; i < nDirClusters; ++i) {
        ASSERT_TRUE(isFree(nDirFirst + i));
        setFat(nDirFirst + i, i + 1 < nDirClusters ? uint16_t(nDirFirst + i + 1) : uint16_t(0xFFFF));
    }
    std::vector<uint32_t> freeClusters;
    for (uint32_t c = 2; c < nDirFirst; ++c) {
        if (!isFree(c)) continue;
        if (c % 2) setFat(c, 0xFFFF);
        else freeClusters.push_back(c);
    }
    ASSERT_GT(freeClusters.size(), 4000u);
    uint64_t rootDir = (g.nFirstSector + g.nReserved + 2ull * g.nSectorsPerFat) * 512;
    size_t slot = rootDir;
    while (img[slot] != 0) slot += 32;
    std::memcpy(&img[slot], "HOSTILE    ", 11);
    img[slot + 11] = 0x10;
    img[slot + 26] = uint8_t(nDirFirst), img[slot + 27] = uint8_t(nDirFirst >> 8);
    for (uint32_t i = 0; i < nEntries; ++i) {
        uint8_t* e = &img[(g.nDataStart + uint64_t(nDirFirst - 2) * g.nSecPerClus) * 512 + 32 * i];
        char name[12];
        snprintf(name, sizeof name, "\xE5%07uBIN", i);
        std::memcpy(e, name, 11);
        e[11] = 0x20;
        uint32_t first = freeClusters[i % 1000];
        e[26] = uint8_t(first), e[27] = uint8_t(first >> 8);
        e[28] = e[29] = e[30] = e[31] = 0xFF;
    }
    KivMemDevStor stor(img);
    ScanResult scan;
    Scan(&stor, &scan);
    CKivScanResPartFAT* p = Best(scan);
    ASSERT_NE(p, nullptr);
    kiv_alloc::ResetPeak();
    IKivFsNode* pRoot = scan.pScanner->BuildTree(p, &stor, 0, nullptr);
    uint64_t peak = kiv_alloc::PeakSinceReset();
    ASSERT_NE(pRoot, nullptr);
    IKivFileNode* pDir = Find(pRoot, "HOSTILE");
    ASSERT_NE(pDir, nullptr);
    size_t n = 0;
    uint64_t nClaimed = 0;
    for (IKivFileNode* c = pDir->GetFirstChild(); c; c = c->GetNextSibling(), ++n) {
        std::unique_ptr<IDataRunList> runs(c->GetAttr()->GetDataRunList());
        for (const KivDataRun* r = runs ? runs->First() : nullptr; r; r = runs->Next()) {
            ASSERT_LT(r->nStart + r->nLength, uint64_t(g.nClusterCount) + 1);
            nClaimed += r->nLength;
        }
    }
    EXPECT_EQ(n, nEntries);  // every entry is still listed
    EXPECT_GT(nClaimed, 0u);
    pRoot->Release();
    EXPECT_LT(peak, 64u << 20) << "bytes held at once";
}
