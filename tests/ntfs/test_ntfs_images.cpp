// Volumes made by mkntfs and filled through the file system, scanned and rebuilt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>
#include <map>
#include <sstream>

#include "NtfsTestSupport.h"

namespace {

struct Expected {
    std::string sha;
    uint64_t size;
    bool deleted;
};

struct Released {
    IKivCommon* p;
    ~Released() {
        if (p) p->Release();
    }
};

// One image scanned and its best candidate's tree built; releases everything at the end.
struct BuiltTree {
    NtfsScan scan;
    KivFileDevStor* dev = nullptr;
    IKivFsNode* root = nullptr;
    ~BuiltTree() {
        if (root) root->Release();
        if (dev) dev->Release();
    }
};

class NtfsImages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/undelia-ntfs-XXXXXX";
        s_dir = mkdtemp(tmpl);
        std::string cmd = std::string(KIV_SOURCE_DIR "/scripts/make-ntfs-images ") + s_dir + " >/dev/null 2>&1";
        s_ok = std::system(cmd.c_str()) == 0;
        std::ifstream m(s_dir + "/manifest.txt");
        std::string line;
        while (std::getline(m, line)) {
            std::istringstream in(line);
            Expected e;
            std::string path, flag;
            in >> e.sha >> e.size;
            in.get();
            std::getline(in, path);
            e.deleted = path.size() > 8 && path.compare(path.size() - 8, 8, " deleted") == 0;
            if (e.deleted) path.resize(path.size() - 8);
            s_files[path] = e;
        }
        s_fuse = access((s_dir + "/nofuse").c_str(), F_OK) != 0;
    }
    static void TearDownTestSuite() { std::system(("rm -rf " + s_dir).c_str()); }

    void SetUp() override {
        if (!s_ok) GTEST_SKIP() << "the ntfs-3g tools could not make the images";
    }
    void NeedFuse() {
        if (!s_fuse) GTEST_SKIP() << "no FUSE mount on this machine: folders and deletions are not made";
    }

    // Scans an image and builds the tree of its best candidate.
    static void Build(const std::string& image, uint32_t sectorSize, BuiltTree* t) {
        t->dev = new KivFileDevStor(s_dir + "/" + image, sectorSize);
        ScanNtfs(t->dev, &t->scan);
        if (CKivScanResPart* best = t->scan.Best()) t->root = t->scan.scanner->BuildTree(best, t->dev, 0, nullptr);
    }

    void ExpectContent(IKivFileNode* root, IKivDevStor* dev, const std::string& path) {
        SCOPED_TRACE(path);
        IKivFileNode* n = FindPath(root, path);
        ASSERT_NE(n, nullptr);
        const Expected& e = s_files.at(path);
        EXPECT_EQ(n->GetAttr()->GetSize(), e.size);
        std::vector<uint8_t> data;
        ASSERT_TRUE(ReadNodeData(n, dev, &data));
        EXPECT_EQ(Sha256(data), e.sha);
    }

    static inline std::string s_dir;
    static inline bool s_ok = false;
    static inline bool s_fuse = false;
    static inline std::map<std::string, Expected> s_files;
};

}  // namespace

TEST_F(NtfsImages, LiveTreeNamesTimesAndContent) {
    NeedFuse();
    BuiltTree t;
    Build("ntfs.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFsNode* root = t.root;
    KivFileDevStor* dev = t.dev;
    CKivScanResPart* best = t.scan.Best();
    EXPECT_EQ(best->m_nFirstSector, 0u);
    EXPECT_EQ(best->m_nSecPerClus, 8);
    EXPECT_EQ(std::string(root->GetAttr()->GetName()), "UndeliaTest(NTFS 1)");
    EXPECT_EQ(root->GetFsType(), KIV_FS_NTFS);

    for (const char* p : {"/docs/small300.txt", "/docs/report.bin", "/docs/deep/nested.dat", "/photos/holiday.jpg",
                          "/docs/sparse.bin"})
        ExpectContent(root, dev, p);
    IKivFileNode* small = FindPath(root, "/docs/small300.txt");
    std::unique_ptr<IDataRunList> runs(small->GetAttr()->GetDataRunList());
    ASSERT_TRUE(runs);
    EXPECT_TRUE(runs->IsResident());  // 300 bytes live inside the record
    IKivFileNode* sparse = FindPath(root, "/docs/sparse.bin");
    EXPECT_TRUE(sparse->GetAttr()->GetAttributes() & KIV_FA_SPARSE);
    // A hard-linked file shows once, under the folder of the name it shows.
    EXPECT_EQ(FindPath(root, "/photos/report.bin"), nullptr);
    // Times are those of the files' creation a moment ago (FILETIME in UTC).
    uint64_t now = (uint64_t(time(nullptr)) + 11644473600ull) * 10000000ull;
    IKivFileNode* report = FindPath(root, "/docs/report.bin");
    ASSERT_NE(report, nullptr);
    uint64_t mt = report->GetAttr()->GetModificationTime();
    EXPECT_LT(now - mt, 24ull * 3600 * 10000000);
    EXPECT_EQ(FindPath(root, "/docs")->GetAttr()->GetAttributes() & KIV_FA_DIRECTORY, KIV_FA_DIRECTORY);
}

TEST_F(NtfsImages, LongNameWithDosAliasShowsTheLongName) {
    NeedFuse();
    BuiltTree t;
    Build("ntfs.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFsNode* root = t.root;
    KivFileDevStor* dev = t.dev;
    EXPECT_NE(FindPath(root, "/docs/Long File Name.txt"), nullptr);
    EXPECT_EQ(FindPath(root, "/docs/LONGFI~1.TXT"), nullptr);
    ExpectContent(root, dev, "/docs/Long File Name.txt");
}

TEST_F(NtfsImages, DeletedFileComesBackUnderItsFolder) {
    NeedFuse();
    BuiltTree t;
    Build("ntfs.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFsNode* root = t.root;
    KivFileDevStor* dev = t.dev;
    IKivFileNode* del = FindPath(root, "/docs/deleted.bin");
    ASSERT_NE(del, nullptr);
    EXPECT_EQ(del->GetAttr()->GetRecordState() & KIV_REC_DELETED, KIV_REC_DELETED);
    ExpectContent(root, dev, "/docs/deleted.bin");
    IKivFileNode* live = FindPath(root, "/docs/report.bin");
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->GetAttr()->GetRecordState(), 0);
}

TEST_F(NtfsImages, FileOfADestroyedFolderLandsInTheFirstLostFolder) {
    NeedFuse();
    BuiltTree t;
    Build("ntfs.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFsNode* root = t.root;
    KivFileDevStor* dev = t.dev;
    IKivFileNode* lost = FindPath(root, "/{D5603231-3B6B-4f77-8898-CE407AA85F6B}1");
    ASSERT_NE(lost, nullptr);
    IKivFileNode* orphan = FindPath(lost, "/orphan.bin");
    ASSERT_NE(orphan, nullptr);
    std::vector<uint8_t> data;
    ASSERT_TRUE(ReadNodeData(orphan, dev, &data));
    EXPECT_EQ(Sha256(data), s_files.at("/lostparent/orphan.bin").sha);
}

TEST_F(NtfsImages, CompressedFileKeepsItsFlagAndSize) {
    NeedFuse();
    BuiltTree t;
    Build("ntfs.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFileNode* n = FindPath(t.root, "/packed/text.txt");
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(n->GetAttr()->GetAttributes() & KIV_FA_COMPRESSED);
    EXPECT_EQ(n->GetAttr()->GetSize(), s_files.at("/packed/text.txt").size);
}

TEST_F(NtfsImages, VolumeWithoutBootSectorIsFoundFromItsCopy) {
    BuiltTree t;
    Build("ntfs-noboot.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFsNode* root = t.root;
    KivFileDevStor* dev = t.dev;
    EXPECT_EQ(t.scan.Best()->m_nFirstSector, 0u);
    ExpectContent(root, dev, s_fuse ? "/docs/report.bin" : "/report.bin");
}

TEST_F(NtfsImages, VolumesInsideMbrAndGptPartitionsAreFoundAtTheirOffsets) {
    for (auto [image, start] : {std::pair<const char*, uint64_t>{"disk-mbr.img", 2048}, {"disk-gpt.img", 4096}}) {
        SCOPED_TRACE(image);
        BuiltTree t;
        Build(image, 512, &t);
        ASSERT_NE(t.root, nullptr);
        EXPECT_EQ(t.scan.Best()->m_nFirstSector, start);
        ExpectContent(t.root, t.dev, s_fuse ? "/docs/report.bin" : "/report.bin");
    }
}

TEST_F(NtfsImages, FourKilobyteSectors) {
    BuiltTree t;
    Build("ntfs-4k.img", 4096, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFsNode* root = t.root;
    KivFileDevStor* dev = t.dev;
    EXPECT_EQ(t.scan.Best()->m_nSecPerClus, 1);
    IKivFileNode* n = FindPath(root, "/k4.bin");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->GetAttr()->GetSize(), 5000u);
    std::vector<uint8_t> data;
    EXPECT_TRUE(ReadNodeData(n, dev, &data));
}

TEST_F(NtfsImages, BlockBordersDoNotHideRecords) {
    // Small odd blocks put records across block ends; the same volume must still be found.
    auto* dev = new KivFileDevStor(s_dir + "/ntfs.img", 512);
    Released r{dev};
    NtfsScan big, small;
    ScanNtfs(dev, &big);
    ScanNtfs(dev, &small, 7);
    ASSERT_TRUE(big.Best() && small.Best());
    EXPECT_EQ(small.Best()->m_nFirstSector, big.Best()->m_nFirstSector);
    EXPECT_EQ(small.Best()->m_nEvidenceB, big.Best()->m_nEvidenceB);
}

TEST_F(NtfsImages, CommandLineRecoversCompressedResidentSparseAndDeletedFilesByteIdentical) {
    NeedFuse();
    char tmpl[] = "/tmp/undelia-ntfs-out-XXXXXX";
    std::string out = mkdtemp(tmpl);
    std::string cmd = std::string(KIV_BIN_DIR "/undelia-cli -q recover ") + s_dir + "/ntfs.img --to " + out + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* p : {"/packed/text.txt", "/docs/small300.txt", "/docs/sparse.bin", "/docs/deleted.bin",
                          "/docs/Long File Name.txt"}) {
        SCOPED_TRACE(p);
        std::ifstream f(out + "/UndeliaTest(NTFS 1)" + p, std::ios::binary);
        ASSERT_TRUE(f.good());
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        EXPECT_EQ(Sha256(data), s_files.at(p).sha);
    }
    std::system(("rm -rf '" + out + "'").c_str());
}

TEST_F(NtfsImages, CorruptedRecordsNeverCrashOrHang) {
    std::ifstream f(s_dir + "/ntfs.img", std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<size_t> records;
    for (size_t off = 0; off + 1024 <= image.size(); off += 512)
        if (std::memcmp(&image[off], "FILE", 4) == 0) records.push_back(off);
    ASSERT_FALSE(records.empty());
    std::mt19937 rng(1234);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint8_t> bad = image;
        // Damage headers, attribute lengths, mapping pairs and fix-ups of many records at once; keep
        // the fix-up check values so most damaged records still reach the parsers.
        for (size_t off : records) {
            for (int k = 0; k < 6; ++k) {
                size_t pos = off + 0x14 + rng() % (1024 - 0x14);
                if (pos % 512 >= 510) continue;
                bad[pos] = uint8_t(rng());
            }
        }
        auto* dev = new KivMemDevStor(std::move(bad));
        Released r{dev};
        NtfsScan scan;
        ScanNtfs(dev, &scan);
        for (CKivScanResPart* p : scan.parts) {
            if (p->m_nEvidenceC < 20) continue;  // the real volume and its confirmed copies
            if (IKivFsNode* root = scan.scanner->BuildTree(p, dev, 0, nullptr)) root->Release();
        }
    }
}
