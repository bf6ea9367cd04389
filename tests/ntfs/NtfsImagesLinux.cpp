// Volumes made by mkntfs and filled through the file system, scanned and rebuilt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Model/IKivAttrDataInfo.h"
#include "NtfsTestSupport.h"
#include "KivNeedTool.h"

namespace {

inline std::string Sha256(const std::vector<uint8_t>& data) {
    char tmpl[] = "/tmp/undelia-sha-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return {};
    if (!data.empty() && write(fd, data.data(), data.size()) != ssize_t(data.size())) return {};
    close(fd);
    std::string cmd = std::string("sha256sum ") + tmpl;
    std::string result;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[128] = {};
        if (fgets(buf, sizeof buf, p)) result.assign(buf, 64);
        pclose(p);
    }
    unlink(tmpl);
    return result;
}

struct Expected {
    std::string sha;
    uint64_t size;
    bool deleted;
};

// The manifest make-ntfs-images writes: "<sha256> <size> <path>[ deleted]" a line.
std::map<std::string, Expected> ReadManifest(const std::string& path) {
    std::map<std::string, Expected> files;
    std::ifstream m(path);
    std::string line;
    while (std::getline(m, line)) {
        std::istringstream in(line);
        Expected e;
        std::string p;
        in >> e.sha >> e.size;
        in.get();
        std::getline(in, p);
        e.deleted = p.size() > 8 && p.compare(p.size() - 8, 8, " deleted") == 0;
        if (e.deleted) p.resize(p.size() - 8);
        files[p] = e;
    }
    return files;
}

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

class NtfsImagesLinux : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/undelia-ntfs-XXXXXX";
        s_dir = mkdtemp(tmpl);
        std::string cmd = std::string(KIV_SOURCE_DIR "/scripts/make-ntfs-images ") + s_dir + " >/dev/null 2>&1";
        s_ok = std::system(cmd.c_str()) == 0;
        s_files = ReadManifest(s_dir + "/manifest.txt");
        s_fuse = access((s_dir + "/nofuse").c_str(), F_OK) != 0;
        // The tests that only read the main image share one scan of it.
        if (s_ok) {
            s_main = new BuiltTree;
            Build("ntfs.img", 512, s_main);
        }
    }
    static void TearDownTestSuite() {
        delete s_main;
        s_main = nullptr;
        std::system(("rm -rf " + s_dir).c_str());
    }

    void SetUp() override {
        if (!s_ok) KIV_SKIP_MISSING_TOOL("the ntfs-3g tools could not make the images");
        if (s_main) m_root = s_main->root, m_dev = s_main->dev;
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
    static inline BuiltTree* s_main = nullptr;  // ntfs.img with 512-byte sectors
    IKivFsNode* m_root = nullptr;                // its tree
    KivFileDevStor* m_dev = nullptr;
};

}  // namespace

TEST_F(NtfsImagesLinux, LiveTreeNamesTimesAndContent) {
    NeedFuse();
    ASSERT_NE(m_root, nullptr);
    CKivScanResPart* best = s_main->scan.Best();
    EXPECT_EQ(best->m_nFirstSector, 0u);
    EXPECT_EQ(best->m_nSecPerClus, 8);
    EXPECT_EQ(std::string(m_root->GetAttr()->GetName()), "UndeliaTest(NTFS 1)");
    EXPECT_EQ(m_root->GetFsType(), KIV_FS_NTFS);

    for (const char* p : {"/docs/small300.txt", "/docs/report.bin", "/docs/deep/nested.dat", "/photos/holiday.jpg",
                          "/docs/sparse.bin"})
        ExpectContent(m_root, m_dev, p);
    IKivFileNode* small = FindPath(m_root, "/docs/small300.txt");
    std::unique_ptr<IDataRunList> runs(small->GetAttr()->GetDataRunList());
    ASSERT_TRUE(runs);
    EXPECT_TRUE(runs->IsResident());  // 300 bytes live inside the record
    IKivFileNode* sparse = FindPath(m_root, "/docs/sparse.bin");
    EXPECT_TRUE(sparse->GetAttr()->GetAttributes() & KIV_FA_SPARSE);
    // A hard-linked file shows once, under the folder of the name it shows.
    EXPECT_EQ(FindPath(m_root, "/photos/report.bin"), nullptr);
    // Times are those of the files' creation a moment ago (FILETIME in UTC).
    uint64_t now = (uint64_t(time(nullptr)) + 11644473600ull) * 10000000ull;
    IKivFileNode* report = FindPath(m_root, "/docs/report.bin");
    ASSERT_NE(report, nullptr);
    uint64_t mt = report->GetAttr()->GetModificationTime();
    EXPECT_LT(now - mt, 24ull * 3600 * 10000000);
    EXPECT_EQ(FindPath(m_root, "/docs")->GetAttr()->GetAttributes() & KIV_FA_DIRECTORY, KIV_FA_DIRECTORY);
}

TEST_F(NtfsImagesLinux, LongNameWithDosAliasShowsTheLongName) {
    NeedFuse();
    ASSERT_NE(m_root, nullptr);
    EXPECT_NE(FindPath(m_root, "/docs/Long File Name.txt"), nullptr);
    EXPECT_EQ(FindPath(m_root, "/docs/LONGFI~1.TXT"), nullptr);
    ExpectContent(m_root, m_dev, "/docs/Long File Name.txt");
}

TEST_F(NtfsImagesLinux, DeletedFileComesBackUnderItsFolder) {
    NeedFuse();
    ASSERT_NE(m_root, nullptr);
    IKivFileNode* del = FindPath(m_root, "/docs/deleted.bin");
    ASSERT_NE(del, nullptr);
    EXPECT_EQ(del->GetAttr()->GetRecordState() & KIV_REC_DELETED, KIV_REC_DELETED);
    ExpectContent(m_root, m_dev, "/docs/deleted.bin");
    IKivFileNode* live = FindPath(m_root, "/docs/report.bin");
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->GetAttr()->GetRecordState(), 0);
}

TEST_F(NtfsImagesLinux, RecycleBinDataEntryGetsItsOriginalName) {
    NeedFuse();
    ASSERT_NE(m_root, nullptr);
    ExpectContent(m_root, m_dev, "/$Recycle.Bin/S-1-5-21-1001/Budget 2024.txt");
    EXPECT_EQ(FindPath(m_root, "/$Recycle.Bin/S-1-5-21-1001/$RAB12CD.txt"), nullptr);
    EXPECT_NE(FindPath(m_root, "/$Recycle.Bin/S-1-5-21-1001/$IAB12CD.txt"), nullptr);  // the information entry stays
}

TEST_F(NtfsImagesLinux, FileOfADestroyedFolderLandsInTheFirstLostFolder) {
    NeedFuse();
    ASSERT_NE(m_root, nullptr);
    IKivFileNode* lost = FindPath(m_root, "/{D5603231-3B6B-4f77-8898-CE407AA85F6B}1");
    ASSERT_NE(lost, nullptr);
    IKivFileNode* orphan = FindPath(lost, "/orphan.bin");
    ASSERT_NE(orphan, nullptr);
    std::vector<uint8_t> data;
    ASSERT_TRUE(ReadNodeData(orphan, m_dev, &data));
    EXPECT_EQ(Sha256(data), s_files.at("/lostparent/orphan.bin").sha);
}

TEST_F(NtfsImagesLinux, CompressedFileKeepsItsFlagAndSize) {
    NeedFuse();
    ASSERT_NE(m_root, nullptr);
    IKivFileNode* n = FindPath(m_root, "/packed/text.txt");
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(n->GetAttr()->GetAttributes() & KIV_FA_COMPRESSED);
    EXPECT_EQ(n->GetAttr()->GetSize(), s_files.at("/packed/text.txt").size);
}

TEST_F(NtfsImagesLinux, VolumeWithoutBootSectorIsFoundFromItsCopy) {
    BuiltTree t;
    Build("ntfs-noboot.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFsNode* root = t.root;
    KivFileDevStor* dev = t.dev;
    EXPECT_EQ(t.scan.Best()->m_nFirstSector, 0u);
    ExpectContent(root, dev, s_fuse ? "/docs/report.bin" : "/report.bin");
}

TEST_F(NtfsImagesLinux, VolumesInsideMbrAndGptPartitionsAreFoundAtTheirOffsets) {
    for (auto [image, start] : {std::pair<const char*, uint64_t>{"disk-mbr.img", 2048}, {"disk-gpt.img", 4096}}) {
        SCOPED_TRACE(image);
        BuiltTree t;
        Build(image, 512, &t);
        ASSERT_NE(t.root, nullptr);
        EXPECT_EQ(t.scan.Best()->m_nFirstSector, start);
        ExpectContent(t.root, t.dev, s_fuse ? "/docs/report.bin" : "/report.bin");
    }
}

TEST_F(NtfsImagesLinux, FourKilobyteSectors) {
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

TEST_F(NtfsImagesLinux, BlockBordersDoNotHideRecords) {
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

TEST_F(NtfsImagesLinux, CommandLineRecoversCompressedResidentSparseAndDeletedFilesByteIdentical) {
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

TEST_F(NtfsImagesLinux, CorruptedRecordsNeverCrashOrHang) {
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

namespace {

std::string RunOut(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

}  // namespace

TEST_F(NtfsImagesLinux, OtherClusterSizesKeepTheirTreeAndDeletedFiles) {
    NeedFuse();
    for (const char* name : {"c512", "c64k"}) {
        SCOPED_TRACE(name);
        auto files = ReadManifest(s_dir + "/manifest-" + name + ".txt");
        ASSERT_EQ(files.size(), 3u);
        BuiltTree t;
        Build(std::string(name) + ".img", 512, &t);
        ASSERT_NE(t.root, nullptr);
        EXPECT_EQ(std::string(t.root->GetLabel()), std::string("Clus") + (name + 1));
        EXPECT_EQ(t.scan.Best()->m_nSecPerClus, std::string(name) == "c512" ? 1 : 128);
        for (const auto& [path, e] : files) {
            SCOPED_TRACE(path);
            IKivFileNode* n = FindPath(t.root, path);
            ASSERT_NE(n, nullptr);
            EXPECT_EQ((n->GetAttr()->GetRecordState() & KIV_REC_DELETED) != 0, e.deleted);
            std::vector<uint8_t> data;
            ASSERT_TRUE(ReadNodeData(n, t.dev, &data));
            EXPECT_EQ(Sha256(data), e.sha);
        }
    }
}

TEST_F(NtfsImagesLinux, CutVolumeKeepsItsFilesAndMarksWhatLiesPastTheEnd) {
    NeedFuse();
    BuiltTree t;
    Build("cut.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    EXPECT_EQ(std::string(t.root->GetAttr()->GetName()), "UndeliaTest(NTFS 1)");
    // report.bin lies before the cut, nested.dat after it (see the sectors of the full volume).
    ExpectContent(t.root, t.dev, "/docs/report.bin");
    EXPECT_FALSE(FindPath(t.root, "/docs/report.bin")->GetAttr()->GetRecordState() & KIV_REC_DAMAGED);
    IKivFileNode* cut = FindPath(t.root, "/docs/deep/nested.dat");
    ASSERT_NE(cut, nullptr);
    EXPECT_TRUE(cut->GetAttr()->GetRecordState() & KIV_REC_DAMAGED);
    EXPECT_EQ(cut->GetAttr()->GetSize(), s_files.at("/docs/deep/nested.dat").size) << "a cut file keeps its size";
}

TEST_F(NtfsImagesLinux, WithoutMftAndMirrorTheTreeIsBuiltFromTheRecordsFound) {
    NeedFuse();
    BuiltTree t;
    Build("nomft.img", 512, &t);
    ASSERT_NE(t.root, nullptr) << "no tree without $MFT";
    EXPECT_EQ(t.scan.Best()->m_nFirstSector, 0u);
    for (const char* p : {"/docs/report.bin", "/docs/deep/nested.dat", "/photos/holiday.jpg", "/docs/small300.txt",
                          "/docs/sparse.bin"})
        ExpectContent(t.root, t.dev, p);
    IKivFileNode* del = FindPath(t.root, "/docs/deleted.bin");
    ASSERT_NE(del, nullptr);
    EXPECT_TRUE(del->GetAttr()->GetRecordState() & KIV_REC_DELETED);
    ExpectContent(t.root, t.dev, "/docs/deleted.bin");
    // The file of the destroyed folder still lands in the lost folder.
    IKivFileNode* orphan = FindPath(t.root, std::string("/") + KIV_NAME_LOST_DIR + "1/orphan.bin");
    ASSERT_NE(orphan, nullptr);
    std::vector<uint8_t> data;
    ASSERT_TRUE(ReadNodeData(orphan, t.dev, &data));
    EXPECT_EQ(Sha256(data), s_files.at("/lostparent/orphan.bin").sha);
}

TEST_F(NtfsImagesLinux, ScanListsOnlyPartitionsWithATree) {
    // A backup boot sector at a volume's end and a mirror record in its middle are candidates, not
    // partitions: scan lists what ls shows, and --all-candidates the rest, marked.
    for (const char* name : {"ntfs-4k.img", "disk-mbr.img", "disk-gpt.img", "ntfs-noboot.img"}) {
        SCOPED_TRACE(name);
        uint32_t z = std::string(name) == "ntfs-4k.img" ? 4096 : 512;
        std::string base = std::string(KIV_BIN_DIR "/undelia-cli -q scan --json --sector-size ") + std::to_string(z) +
                           " " + s_dir + "/" + name;
        auto shown = nlohmann::json::parse(RunOut(base + " 2>/dev/null"));
        ASSERT_EQ(shown["partitions"].size(), 1u) << shown.dump(1);
        EXPECT_TRUE(shown["partitions"][0]["selected"].get<bool>());
        auto all = nlohmann::json::parse(RunOut(base + " --all-candidates 2>/dev/null"));
        EXPECT_EQ(all["partitions"].size(), 1 + shown["candidates_not_shown"].get<size_t>());
        for (size_t i = 1; i < all["partitions"].size(); ++i) EXPECT_FALSE(all["partitions"][i]["selected"].get<bool>());
    }
}

TEST_F(NtfsImagesLinux, NeverFewerFilesThanTskRecover) {
    NeedFuse();
    if (std::system("command -v tsk_recover >/dev/null 2>&1") != 0) KIV_SKIP_MISSING_TOOL("tsk_recover not installed");
    for (auto [image, manifest] : {std::pair<const char*, const char*>{"ntfs", "manifest"}, {"cut", "manifest"},
                                   {"nomft", "manifest"}, {"c512", "manifest-c512"}, {"c64k", "manifest-c64k"},
                                   {"disk-gpt", "manifest"}}) {
        std::string out = RunOut(std::string(KIV_SOURCE_DIR "/scripts/compare-tsk --cli " KIV_BIN_DIR "/undelia-cli ") +
                                 s_dir + "/" + image + ".img " + s_dir + "/" + manifest + ".txt");
        int expected = 0, tsk = 0, tskNamed = 0, ours = 0, oursNamed = 0;
        ASSERT_EQ(std::sscanf(out.c_str(), "%*s expected=%d tsk=%d tsk_named=%d undelia=%d undelia_named=%d", &expected,
                              &tsk, &tskNamed, &ours, &oursNamed),
                  5)
            << out;
        EXPECT_GE(ours, tsk) << out;
        EXPECT_GE(oursNamed, tskNamed) << out;
        EXPECT_GT(ours, 0) << out;
    }
}

// A deleted file whose clusters a live file took when it grew holds that file's data now: it is
// reported damaged with the reason. The live file and a deleted file whose clusters are still
// free are not.
TEST_F(NtfsImagesLinux, DeletedFileUnderALiveFileIsReportedReused) {
    NeedFuse();
    auto damage = [](IKivFileNode* p) -> std::string {
        auto* pInfo = p ? dynamic_cast<IKivAttrDataInfo*>(p->GetAttr()) : nullptr;
        const char* psz = pInfo ? pInfo->GetDataDamage() : "not there";
        return psz ? psz : "";
    };
    BuiltTree t;
    Build("reuse.img", 512, &t);
    ASSERT_NE(t.root, nullptr);
    IKivFileNode* pOld = FindPath(t.root, "/old.bin");
    ASSERT_NE(pOld, nullptr);
    EXPECT_TRUE(pOld->GetAttr()->GetRecordState() & KIV_REC_DELETED);
    EXPECT_EQ(damage(pOld), kKivReusedDamage);
    EXPECT_EQ(damage(FindPath(t.root, "/growing.log")), "");

    BuiltTree& sound = *s_main;
    ASSERT_NE(sound.root, nullptr);
    EXPECT_EQ(damage(FindPath(sound.root, "/docs/deleted.bin")), "");
}
