// Volumes made with other options of mkfs.fat (one table copy, 4096-byte sectors, 64 KiB
// clusters, a cut image, a deleted folder over many clusters): recognised from their boot sector,
// their trees right, their files byte-identical, and never fewer back than tsk_recover gets.
#include <cstdio>
#include <regex>

#include "FatTestSupport.h"
#include "KivNeedTool.h"

using namespace kivfat_test;

namespace {

bool HasReconstructedDirs(IKivFileNode* pDir) {
    for (IKivFileNode* c = pDir->GetFirstChild(); c; c = c->GetNextSibling()) {
        if (std::string(c->GetAttr()->GetName()).rfind("Dir", 0) == 0 &&
            (c->GetAttr()->GetRecordState() & KIV_REC_RECONSTRUCTED))
            return true;
        if (c->GetFirstChild() && HasReconstructedDirs(c)) return true;
    }
    return false;
}

}  // namespace

TEST(FatVolumeOptions, OneTableCopyIsRecognisedFromItsBootSector) {
    Built b;
    BuildImage("onefat.img", &b);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT32);
    EXPECT_EQ(b.pPart->m_nEvidenceFlags & 0x3C4, 0xC4u) << "boot sector and the one table, no second copy";
    EXPECT_STREQ(b.pRoot->GetAttr()->GetName(), "ONEFAT(FAT32 1)");
    ExpectFile(b, "onefat", "root file.bin", "root file.bin", false);
    ExpectFile(b, "onefat", "Sub/inner file.bin", "Sub/inner file.bin", false);
    ExpectFile(b, "onefat", "_one.bin", "gone.bin", true);
    EXPECT_FALSE(HasReconstructedDirs(b.pRoot)) << Dump(b.pRoot);
}

TEST(FatVolumeOptions, FourKiBSectorsReadThroughSmallerDeviceSectors) {
    // The image is read as 512-byte sectors, as an image file with no stated sector size is.
    Built b;
    BuildImage("sector4k.img", &b);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT16);
    EXPECT_EQ(b.pPart->m_nSecPerClus, 8u);
    EXPECT_STREQ(b.pRoot->GetLabel(), "FOURK");
    ExpectFile(b, "sector4k", "four k.bin", "four k.bin", false);
    ExpectFile(b, "sector4k", "Sub/inner.bin", "Sub/inner.bin", false);
    ExpectFile(b, "sector4k", "gone 4k.bin", "gone 4k.bin", true);

    // At its own sector size the volume reads the same.
    Built b4;
    BuildImage("sector4k.img", &b4, 4096);
    EXPECT_EQ(b4.pPart->m_nSecPerClus, 1u);
    ExpectFile(b4, "sector4k", "Sub/inner.bin", "Sub/inner.bin", false);
}

TEST(FatVolumeOptions, SmallerSectorsThanTheDeviceAreReportedWithTheSizeToUse) {
    ASSERT_FALSE(ImageDir().empty());
    KivFileDevStor stor(ImageDir() + "/fat16.img", 4096);
    auto* pScanner = new CKivFATScanner();
    pScanner->SetStorage(&stor);
    pScanner->SetBlockSectors(1024);
    uint64_t stats[16] = {};
    pScanner->AnalyzeBlock(0, 1024, stats);
    EXPECT_EQ(stats[KIV_STAT_OTHER_SECTOR_SIZE], 512u);
    pScanner->Release();
}

TEST(FatVolumeOptions, SixtyFourKiBClusters) {
    Built b;
    BuildImage("clus128.img", &b);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT12);
    EXPECT_EQ(b.pPart->m_nSecPerClus, 128u);
    ExpectFile(b, "clus128", "big cluster.bin", "big cluster.bin", false);
    ExpectFile(b, "clus128", "gone 128.bin", "gone 128.bin", true);
}

TEST(FatVolumeOptions, CutVolumeKeepsItsTypeAndTreeAndMarksWhatIsMissing) {
    Built b;
    BuildImage("cut32.img", &b);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT32);
    EXPECT_EQ(b.pPart->m_nSectorCount, b.pStor->GetSectorCount()) << "cut to the image";
    EXPECT_STREQ(b.pRoot->GetLabel(), "CUT32");
    int nWhole = 0, nDamaged = 0;
    for (int i = 1; i <= 6; ++i) {
        std::string name = "part " + std::to_string(i) + ".bin";
        IKivFileNode* p = Find(b.pRoot, name);
        ASSERT_NE(p, nullptr) << name << "\n" << Dump(b.pRoot);
        EXPECT_EQ((p->GetAttr()->GetRecordState() & KIV_REC_DELETED) != 0, i == 2) << name;
        if (p->GetAttr()->GetRecordState() & KIV_REC_DAMAGED) {
            ++nDamaged;
            EXPECT_EQ(p->GetAttr()->GetSize(), uint64_t(i) * 500000) << "a cut file keeps its size";
        } else {
            ++nWhole;
            EXPECT_TRUE(ReadNode(p, b.pStor.get()) == Source("cut32", name)) << name;
        }
    }
    // 8 MiB hold the first four files (0.5 + 1 + 1.5 + 2 MB); the fifth crosses the cut.
    EXPECT_EQ(nWhole, 4);
    EXPECT_EQ(nDamaged, 2);
}

TEST(FatVolumeOptions, DeletedFolderOverManyClustersKeepsItsWholeContent) {
    Built b;
    BuildImage("del300.img", &b);
    IKivFileNode* pMany = Find(b.pRoot, "Many");
    ASSERT_NE(pMany, nullptr) << Dump(b.pRoot);
    EXPECT_TRUE(pMany->GetAttr()->GetRecordState() & KIV_REC_DELETED);
    size_t n = 0;
    for (IKivFileNode* c = pMany->GetFirstChild(); c; c = c->GetNextSibling()) ++n;
    EXPECT_EQ(n, 300u);
    char sz[64];
    for (int i : {0, 1, 63, 150, 299}) {
        std::snprintf(sz, sizeof sz, "entry number %03d of the folder.txt", i);
        ExpectFile(b, "del300", std::string("Many/") + sz, std::string("Many/") + sz, true);
    }
    ExpectFile(b, "del300", "kept.bin", "kept.bin", false);
    EXPECT_FALSE(HasReconstructedDirs(b.pRoot)) << "later clusters must not become folders of their own";
}

// The Sleuth Kit's tsk_recover on the same images is the floor: every file it brings back
// byte-identical comes back from undelia-cli too, and as many under their own names.
TEST(FatVolumeOptions, NeverFewerFilesThanTskRecover) {
    ASSERT_FALSE(ImageDir().empty());
    if (std::system("command -v tsk_recover >/dev/null 2>&1") != 0) KIV_SKIP_MISSING_TOOL("tsk_recover not installed");
    const std::regex re(R"(expected=(\d+) tsk=(\d+) tsk_named=(\d+) undelia=(\d+) undelia_named=(\d+))");
    for (const char* name : {"fat12", "fat16", "onefat", "sector4k", "clus128", "cut32", "del300", "mbr"}) {
        std::string cmd = std::string(KIV_SOURCE_DIR) + "/scripts/compare-tsk --cli " KIV_BIN_DIR "/undelia-cli " +
                          ImageDir() + "/" + name + ".img " + ImageDir() + "/src/" + name;
        FILE* f = ::popen(cmd.c_str(), "r");
        ASSERT_NE(f, nullptr);
        char line[512] = {};
        std::string out;
        while (std::fgets(line, sizeof line, f)) out += line;
        ::pclose(f);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(out, m, re)) << name << ": " << out;
        int tsk = std::stoi(m[2]), tskNamed = std::stoi(m[3]), ours = std::stoi(m[4]), oursNamed = std::stoi(m[5]);
        EXPECT_GE(ours, tsk) << out;
        EXPECT_GE(oursNamed, tskNamed) << out;
        EXPECT_GT(ours, 0) << out;
    }
}
