// Recovery of hand-built trees over an in-memory device.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <random>

#include "CKivEfsStream.h"
#include "CKivFileRecover.h"
#include "CKivRecoverNames.h"
#include "KivMemDevStor.h"
#include "Model/CKivFileAttrNTFS.h"
#include "Model/KivNodeFactory.h"
#include "KivPortable.h"
#include "RecoverTestUtil.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kBase = 64;  // partition's first sector

// An image with a partition at kBase; clusters are filled as the tests ask.
class Image {
public:
    explicit Image(uint32_t nSecPerClus, size_t nBytes = 4 << 20) : m_spc(nSecPerClus), m_dev(std::vector<uint8_t>(nBytes)) {}
    uint8_t* Cluster(uint64_t c) { return m_dev.m_data.data() + (kBase + c * m_spc) * 512; }
    void Put(uint64_t cluster, const std::vector<uint8_t>& data) { std::memcpy(Cluster(cluster), data.data(), data.size()); }
    uint32_t m_spc;
    KivMemDevStor m_dev;
};

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

struct RunSpec {
    uint64_t start, len;
};

CKivFileAttrBase* NewAttr(const char* name, uint64_t size, std::initializer_list<RunSpec> runs, uint16_t flags = 0,
                          bool bHasRuns = true) {
    CKivFileAttrBase* a = KivNewAttr(KIV_ATTR_NTFS);
    a->SetName(name);
    a->SetSize(size);
    a->SetAttributes(flags);
    a->SetCheckState(KIV_CHECK_FULL);
    if (bHasRuns) {
        CKivCompactRunList rl;
        for (auto& r : runs) rl.Append(r.start, r.len);
        a->SetRuns(rl);
    }
    return a;
}

IKivFileNode* AddFile(IKivFileNode* pParent, CKivFileAttrBase* pAttr) {
    IKivFileNode* n = KivNewFileNode(pAttr);
    pParent->AddChild(n);
    return n;
}

IKivFsNode* NewPart(uint32_t spc, const char* name = "Part") {
    CKivFileAttrBase* a = KivNewAttr(KIV_ATTR_NTFS);
    a->SetName(name);
    a->SetAttributes(KIV_FA_DIRECTORY);
    a->SetCheckState(KIV_CHECK_FULL);
    IKivFsNode* p = KivNewFsNode(a);
    p->SetPartInfo(kBase, spc);
    p->SetFsType(KIV_FS_NTFS);
    return p;
}

// A 1024-byte file record at partition sector nSector with two fix-up strides, holding value at
// byte nOffset.
void PutRecord(Image& img, uint64_t nSector, size_t nOffset, const std::vector<uint8_t>& value) {
    uint8_t* rec = img.m_dev.m_data.data() + (kBase + nSector) * 512;
    std::memcpy(rec, "FILE", 4);
    rec[4] = 48;  // update sequence array offset
    rec[6] = 3;   // count (sequence number + 2 strides)
    rec[29] = 0x04;  // allocated 1024
    std::memcpy(rec + nOffset, value.data(), value.size());
    rec[48] = 0x34, rec[49] = 0x12;
    rec[50] = rec[510], rec[51] = rec[511];
    rec[52] = rec[1022], rec[53] = rec[1023];
    rec[510] = rec[1022] = 0x34, rec[511] = rec[1023] = 0x12;
}

struct Tree {
    IKivFsNode* p;
    ~Tree() { p->Release(); }
};

}  // namespace

TEST(KivFileRecover, WaitAndArgumentKinds) {
    CKivFileRecover rec;
    EXPECT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), KIV_E_STATE);
    KivTestCallback cb;
    Tree t{NewPart(1)};
    EXPECT_EQ(KivErrNo(rec.DoRecoverFile(t.p, &cb, "/tmp/x")), KIV_E_INITSTATE);
    Image img(1);
    rec.SetDevice(&img.m_dev);
    char buf[64];
    EXPECT_EQ(KivErrNo(rec.DoRecoverFile(nullptr, &cb, "/tmp/x")), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(rec.DoRecoverDir(t.p, &cb, "/tmp", nullptr, 64)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivModuleOf(rec.DoRecoverDir(t.p, nullptr, "/tmp", buf, 64)), KIV_MOD_RECOVER);
    std::string longDest(5000, 'd');
    EXPECT_EQ(KivErrNo(rec.DoRecoverDir(t.p, &cb, ("/tmp/" + longDest).c_str(), buf, 64)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), KIV_E_STATE);
}

TEST(KivFileRecover, DirectoryTreeNamesSizesAndSparseRuns) {
    Image img(2);  // 1 KiB clusters
    auto a = Random(2500, 1), b1 = Random(1024, 2), b2 = Random(1024, 3);
    img.Put(10, a);
    img.Put(20, b1);
    img.Put(40, b2);
    Tree t{NewPart(2, "x:y")};
    AddFile(t.p, NewAttr("a.txt", 2500, {{10, 3}}));  // ends inside its third cluster
    AddFile(t.p, NewAttr("empty", 0, {}, 0, false));
    AddFile(t.p, NewAttr("norun", 10, {}, 0, false));
    AddFile(t.p, NewAttr("sparse.bin", 3 * 1024 + 1024 * 1024, {{20, 1}, {KIV_SPARSE_RUN, 1025}, {40, 1}},
                         KIV_FA_SPARSE));
    AddFile(t.p, NewAttr("unticked", 10, {{10, 1}}))->GetAttr()->SetCheckState(KIV_CHECK_NONE);
    AddFile(t.p, NewAttr("../../escape", 10, {{10, 1}}));
    IKivFileNode* sub = AddFile(t.p, NewAttr("sub:dir", 0, {}, KIV_FA_DIRECTORY, false));
    AddFile(sub, NewAttr("/abs", 10, {{10, 1}}));
    AddFile(sub, NewAttr("..", 10, {{10, 1}}));

    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    char created[4096];
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb, d.Str().c_str(), created, sizeof created), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    fs::path top = d.Path() / "x#y";
    EXPECT_TRUE(fs::path(created) == top) << created;  // Windows takes either separator
    auto got = KivTestReadFile(top / "a.txt");
    EXPECT_EQ(got, a);
    EXPECT_TRUE(fs::exists(top / "empty"));
    EXPECT_EQ(fs::file_size(top / "empty"), 0u);
    EXPECT_FALSE(fs::exists(top / "norun"));  // failed, and no empty stand-in left behind
    EXPECT_FALSE(fs::exists(top / "unticked"));
    auto sp = KivTestReadFile(top / "sparse.bin");
    ASSERT_EQ(sp.size(), 3 * 1024 + 1024 * 1024u);
    EXPECT_TRUE(std::equal(b1.begin(), b1.end(), sp.begin()));
    EXPECT_TRUE(std::all_of(sp.begin() + 1024, sp.end() - 1024, [](uint8_t c) { return c == 0; }));
    EXPECT_TRUE(std::equal(b2.begin(), b2.end(), sp.end() - 1024));
    uint64_t nAllocated = 0;
    ASSERT_TRUE(KivAllocatedBytes((top / "sparse.bin").string(), &nAllocated));
#ifndef _WIN32  // Wine keeps no holes
    EXPECT_LT(nAllocated, 512 * 1024u);  // the gap is a hole
#endif
    // Hostile names stay inside the folder they belong to.
    EXPECT_TRUE(fs::exists(top / "..#..#escape"));
    const std::string subDir = CKivRecoverNames::SafeComponent("sub:dir");  // Windows has no ':' in names
    EXPECT_TRUE(fs::exists(top / subDir / "#abs"));
    EXPECT_TRUE(fs::exists(top / subDir / "##"));
    size_t nInside = 0;
    for (auto& e : fs::recursive_directory_iterator(d.Path())) nInside += e.is_regular_file();
    EXPECT_EQ(nInside, 6u);
    auto stats = rec.GetStats();
    EXPECT_EQ(stats.nFilesWritten, 6u);
    EXPECT_EQ(stats.nFilesFailed, 1u);
    EXPECT_EQ(stats.nFilesDamaged, 0u);
    EXPECT_EQ(cb.failReasons, std::vector<std::string>{"norun: no data runs for its 10 bytes"});
    ASSERT_EQ(cb.failed.size(), 1u);
    EXPECT_TRUE(fs::path(cb.failed[0]) == top / "norun") << cb.failed[0];
    EXPECT_EQ(cb.nDone, 6u);

    // Again into the same place: a new folder with a number, the first one untouched.
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb, d.Str().c_str(), created, sizeof created), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    EXPECT_TRUE(fs::path(created) == d.Path() / "x#y_000") << created;
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb, d.Str().c_str(), created, 8), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    EXPECT_EQ(std::string(created), "");  // the path does not fit: nothing rather than a wrong one
    EXPECT_TRUE(fs::is_directory(d.Path() / "x#y_001"));

    // An unticked top node does nothing and counts as a failure.
    t.p->GetAttr()->SetCheckState(KIV_CHECK_NONE);
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb, d.Str().c_str(), created, sizeof created), KIV_OK);
    EXPECT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), KIV_E_BIND);
}

TEST(KivFileRecover, UnreadableOrMissingDataIsDamagedOrFailedWithItsReason) {
    Image img(1, 1 << 20);  // 2048 sectors; the partition's cluster c is sector 64 + c
    auto data = Random(1024, 9);
    img.Put(5, data);
    img.Put(1982, data);
    Tree t{NewPart(1)};
    IKivFileNode* f = AddFile(t.p, NewAttr("bad.bin", 1000, {{5, 2}}));
    AddFile(t.p, NewAttr("short.bin", 2000, {{5, 2}}));     // runs cover 1024 of 2000 bytes
    AddFile(t.p, NewAttr("cut.bin", 3000, {{1982, 6}}));    // two sectors before the device end
    AddFile(t.p, NewAttr("gone.bin", 3000, {{5000, 6}}));   // wholly past the end
    AddFile(t.p, NewAttr("noruns.bin", 3000, {}));          // a run list without runs
    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);

    // Nothing readable: zeros for every byte are no file.
    img.m_dev.m_bFail = true;
    KivTestCallback cb;
    std::string dest = d.Str() + "/one.bin";
    ASSERT_EQ(rec.DoRecoverFile(f, &cb, dest.c_str()), KIV_OK);
    EXPECT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), KIV_E_BIND);
    EXPECT_FALSE(fs::exists(dest));
    EXPECT_EQ(cb.failReasons, std::vector<std::string>{"one.bin: unreadable sectors written as zeros"});
    EXPECT_EQ(rec.GetStats().nFilesFailed, 1u);

    img.m_dev.m_bFail = false;
    KivTestCallback cb2;
    char created[4096];
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb2, d.Str().c_str(), created, sizeof created), KIV_OK);
    EXPECT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    fs::path top(created);
    auto stats = rec.GetStats();
    EXPECT_EQ(stats.nFilesWritten, 3u);
    EXPECT_EQ(stats.nFilesDamaged, 2u);
    EXPECT_EQ(stats.nFilesFailed, 2u);
    EXPECT_EQ(KivTestReadFile(top / "bad.bin"), std::vector<uint8_t>(data.begin(), data.begin() + 1000));
    EXPECT_EQ(fs::file_size(top / "short.bin"), 1024u);
    // What lies before the end is kept, the rest stands as zeros and the file says why.
    auto cut = KivTestReadFile(top / "cut.bin");
    ASSERT_EQ(cut.size(), 3000u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), cut.begin()));
    EXPECT_TRUE(std::all_of(cut.begin() + 1024, cut.end(), [](uint8_t c) { return c == 0; }));
    EXPECT_FALSE(fs::exists(top / "gone.bin"));
    EXPECT_FALSE(fs::exists(top / "noruns.bin"));
    std::sort(cb2.damageReasons.begin(), cb2.damageReasons.end());
    EXPECT_EQ(cb2.damageReasons, (std::vector<std::string>{"cut.bin: read past the end of the image",
                                                           "short.bin: its data runs end 976 bytes before its size"}));
    std::sort(cb2.failReasons.begin(), cb2.failReasons.end());
    EXPECT_EQ(cb2.failReasons, (std::vector<std::string>{"gone.bin: read past the end of the image",
                                                         "noruns.bin: no data runs for its 3000 bytes"}));
}

TEST(KivFileRecover, FileCancelledPartWayIsDeleted) {
    Image img(8);
    Tree t{NewPart(8)};
    AddFile(t.p, NewAttr("big.bin", 400000, {{1, 100}}));
    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    cb.nCancelAfterBytes = 65536;
    std::string dest = d.Str() + "/big.bin";
    ASSERT_EQ(rec.DoRecoverFile(t.p->GetFirstChild(), &cb, dest.c_str()), KIV_OK);
    EXPECT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), KIV_E_BIND);
    EXPECT_FALSE(fs::exists(dest));
    char created[4096];
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb, d.Str().c_str(), created, sizeof created), KIV_OK);
    EXPECT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    EXPECT_TRUE(fs::is_empty(created));
    EXPECT_EQ(rec.GetStats().nFilesWritten, 0u);
}

TEST(KivFileRecover, UnreadableSectorsAreReportedAsTheByteRangesTheyCost) {
    Image img(4);  // 2 KiB clusters
    auto data = Random(300000, 4);
    img.Put(10, data);
    auto comp = Random(8192, 6);
    Tree t{NewPart(4)};
    IKivFileNode* f = AddFile(t.p, NewAttr("big.bin", data.size(), {{10, 147}}));
    // Sectors 3 and 200-201 of the file fail; 400 was written off untried by the scan and reads
    // fine when tried; the last sector of the file (586) fails and is cut at the file's size.
    uint64_t first = kBase + 10 * 4;
    img.m_dev.AddBad(first + 3, first + 4);
    img.m_dev.AddBad(first + 200, first + 202);
    img.m_dev.m_untried.insert(first + 400);
    img.m_dev.AddBad(first + 585, first + 586);
    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    std::string dest = d.Str() + "/big.bin";
    ASSERT_EQ(rec.DoRecoverFile(f, &cb, dest.c_str()), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    using R = std::vector<std::pair<uint64_t, uint64_t>>;
    EXPECT_EQ(cb.ranges[dest], (R{{3 * 512, 4 * 512}, {200 * 512, 202 * 512}, {585 * 512, 300000}}));
    EXPECT_EQ(cb.damaged, std::vector<std::string>{dest});
    // Every byte outside the ranges is the medium's, every byte inside is zero.
    auto got = KivTestReadFile(dest);
    ASSERT_EQ(got.size(), data.size());
    for (size_t i = 0; i < got.size(); ++i) {
        bool bLost = (i >= 3 * 512 && i < 4 * 512) || (i >= 200 * 512 && i < 202 * 512) || i >= 585 * 512;
        ASSERT_EQ(got[i], bLost ? 0 : data[i]) << i;
    }

    // In a compressed unit any lost sector spoils the whole unit it decodes to; a unit stored
    // whole keeps its damage in place.
    std::vector<uint8_t> text(32768);
    for (size_t i = 0; i < text.size(); ++i) text[i] = "lorem ipsum dolor "[(i / 7) % 18];
    auto packed = KivTestLznt1Compress(text);
    uint64_t k = (packed.size() + 2047) / 2048;
    ASSERT_LT(k, 16u);
    auto stored = Random(32768, 7);
    img.Put(1000, packed);
    img.Put(1100, stored);
    IKivFileNode* c = AddFile(t.p, NewAttr("c.bin", 2 * 32768, {{1000, k}, {KIV_SPARSE_RUN, 16 - k}, {1100, 16}},
                                           KIV_FA_COMPRESSED));
    img.m_dev.AddBad(kBase + 1000 * 4, kBase + 1000 * 4 + 1);
    img.m_dev.AddBad(kBase + 1100 * 4 + 5, kBase + 1100 * 4 + 6);
    dest = d.Str() + "/c.bin";
    ASSERT_EQ(rec.DoRecoverFile(c, &cb, dest.c_str()), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    EXPECT_EQ(cb.ranges[dest], (R{{0, 32768}, {32768 + 5 * 512, 32768 + 6 * 512}}));
    got = KivTestReadFile(dest);
    ASSERT_EQ(got.size(), 65536u);
    EXPECT_TRUE(std::equal(stored.begin(), stored.begin() + 5 * 512, got.begin() + 32768));
    EXPECT_TRUE(std::equal(stored.begin() + 6 * 512, stored.end(), got.begin() + 32768 + 6 * 512));
}

TEST(KivFileRecover, CancelEndsDirectoryRecoveryAfterTheCurrentFile) {
    Image img(1);
    Tree t{NewPart(1)};
    for (int i = 0; i < 5; ++i) AddFile(t.p, NewAttr(("f" + std::to_string(i)).c_str(), 100, {{uint64_t(i), 1}}));
    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    cb.nCancelAfterFiles = 2;
    char created[4096];
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb, d.Str().c_str(), created, sizeof created), KIV_OK);
    EXPECT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);  // a directory recovery that ran counts as done
    size_t n = 0;
    for (auto& e : fs::directory_iterator(created)) n += fs::file_size(e.path()) == 100;
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(cb.started.size(), 2u);
}

TEST(KivFileRecover, CompressedUnitsStoredSparseAndPartial) {
    Image img(1);  // 512-byte clusters: 8 KiB units
    std::vector<uint8_t> plain;
    auto text = [](size_t n, int seed) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = "lorem ipsum dolor sit amet "[(i * seed / 3) % 27];
        return v;
    };
    auto u0 = text(8192, 1), u1 = Random(8192, 5), u3 = text(3000, 2);
    plain.insert(plain.end(), u0.begin(), u0.end());
    plain.insert(plain.end(), u1.begin(), u1.end());
    plain.insert(plain.end(), 8192, 0);
    plain.insert(plain.end(), u3.begin(), u3.end());
    auto c0 = KivTestLznt1Compress(u0), c3 = KivTestLznt1Compress(u3);
    uint64_t k0 = (c0.size() + 511) / 512, k3 = (c3.size() + 511) / 512;
    ASSERT_LT(k0, 16u);
    ASSERT_LT(k3, 16u);
    img.Put(100, c0);
    img.Put(200, u1);
    img.Put(300, c3);
    Tree t{NewPart(1)};
    IKivFileNode* f = AddFile(t.p, NewAttr("c.txt", plain.size(),
                                           {{100, k0}, {KIV_SPARSE_RUN, 16 - k0}, {200, 16}, {KIV_SPARSE_RUN, 16},
                                            {300, k3}, {KIV_SPARSE_RUN, 16 - k3}},
                                           KIV_FA_COMPRESSED));
    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    std::string dest = d.Str() + "/c.txt";
    ASSERT_EQ(rec.DoRecoverFile(f, &cb, dest.c_str()), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    EXPECT_EQ(KivTestReadFile(dest), plain);
    EXPECT_EQ(cb.nBytes, plain.size());
    EXPECT_EQ(rec.GetStats().nFilesDamaged, 0u);

    // 8 KiB clusters: refused and logged; a failed single file answers kind 1.
    Image big(16);
    Tree t2{NewPart(16)};
    IKivFileNode* g = AddFile(t2.p, NewAttr("c.txt", 100, {{1, 1}}, KIV_FA_COMPRESSED));
    rec.SetDevice(&big.m_dev);
    ASSERT_EQ(rec.DoRecoverFile(g, &cb, (d.Str() + "/big.txt").c_str()), KIV_OK);
    EXPECT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), KIV_E_BIND);
    EXPECT_EQ(rec.GetStats().nFilesFailed, 1u);
}

TEST(KivFileRecover, ResidentDataAttributesAndTimes) {
    Image img(8);
    // The data (300 bytes at 0x150) spans the end of the record's first stride.
    auto data = Random(300, 11);
    PutRecord(img, 3, 0x150, data);
    Tree t{NewPart(8)};
    CKivFileAttrBase* a = KivNewAttr(KIV_ATTR_NTFS);
    a->SetName("res.txt");
    a->SetSize(300);
    a->SetAttributes(KIV_FA_READONLY | KIV_FA_HIDDEN);
    a->SetTimes(KivUnixToFileTime(1000000000), KivUnixToFileTime(1500000000, 123456700), KivUnixToFileTime(1600000000));
    CKivCompactRunList rl;
    rl.Append(3, 300);
    rl.SetResidentValue(0x150);
    a->SetRuns(rl);
    IKivFileNode* f = AddFile(t.p, a);
    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    std::string dest = d.Str() + "/res.txt";
    ASSERT_EQ(rec.DoRecoverFile(f, &cb, dest.c_str()), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    int64_t nSec = 0, nAccess = 0;  // before reading the file, which moves its access time
    uint32_t nNsec = 0, nAccessNsec = 0;
    ASSERT_TRUE(KivFileTime(dest, true, &nAccess, &nAccessNsec));
    ASSERT_TRUE(KivFileMTime(dest, &nSec, &nNsec));
    struct stat st;
    ASSERT_EQ(::stat(dest.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(nSec, 1500000000);
    EXPECT_EQ(nNsec, 123456700u);
    EXPECT_EQ(nAccess, 1600000000);
    EXPECT_EQ(KivTestReadFile(dest), data);
    EXPECT_EQ(rec.GetStats().nFilesDamaged, 0u);
}

TEST(KivFileRecover, EncryptedEntryBecomesItsImportStream) {
    Image img(1);
    auto enc = Random(1024, 21), meta = Random(200, 22), metaRuns = Random(700, 23);
    img.Put(50, enc);
    PutRecord(img, 10, 400, meta);  // the metadata spans the end of the first stride
    img.Put(60, metaRuns);
    Tree t{NewPart(1)};
    auto* a = static_cast<CKivFileAttrNTFS*>(NewAttr("secret.doc", 700, {{50, 2}}, KIV_FA_ENCRYPTED));
    a->SetEfsResident(10, 400, 200);
    IKivFileNode* f = AddFile(t.p, a);
    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    std::string dest = d.Str() + "/secret.doc";
    ASSERT_EQ(rec.DoRecoverFile(f, &cb, dest.c_str()), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    EXPECT_FALSE(fs::exists(dest));
    auto s = KivTestReadFile(dest + ".EFS");
    ASSERT_EQ(s.size(), 66 + 200 + 42 + 512 + 1024u);  // data rounded up to whole sectors
    EXPECT_TRUE(std::equal(meta.begin(), meta.end(), s.begin() + 66));
    EXPECT_EQ(s[50] | s[51] << 8, 200 + 16);
    EXPECT_TRUE(std::equal(enc.begin(), enc.end(), s.end() - 1024));
    EXPECT_EQ(s[66 + 200 + 42 + 28] | s[66 + 200 + 42 + 29] << 8, 700);
    EXPECT_EQ(cb.nTail, 1024u - 700);

    // Metadata kept in clusters of its own.
    a->SetEfsRuns({{60, 2}}, 700);
    ASSERT_EQ(rec.DoRecoverFile(f, &cb, dest.c_str()), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    s = KivTestReadFile(dest + "_000.EFS");
    ASSERT_EQ(s.size(), 66 + 700 + 42 + 512 + 1024u);
    EXPECT_TRUE(std::equal(metaRuns.begin(), metaRuns.end(), s.begin() + 66));

    // Without readable metadata the stored bytes are copied as they are.
    a->SetScannerPairs({});
    ASSERT_EQ(rec.DoRecoverFile(f, &cb, dest.c_str()), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    EXPECT_EQ(KivTestReadFile(dest), std::vector<uint8_t>(enc.begin(), enc.begin() + 700));
}

// Names are cut only where the destination cannot hold them (255 bytes here): on a character
// boundary, keeping the extension, a clash numbered within the limit too. What is written says
// where each entry went, beside the entry's own name, so the report can name both.
TEST(KivFileRecover, LongNamesAreCutOnlyToWhatTheDestinationTakes) {
    Image img(2);
    auto a = Random(700, 7), b = Random(900, 8);
    img.Put(10, a);
    img.Put(20, b);
    std::string whole = std::string(251, 'L') + ".txt", umlauts;
    for (int i = 0; i < 200; ++i) umlauts += "\xC3\xA4";
    Tree t{NewPart(2)};
    AddFile(t.p, NewAttr(whole.c_str(), 700, {{10, 1}}));
    AddFile(t.p, NewAttr((umlauts + ".jpg").c_str(), 900, {{20, 1}}));
    AddFile(t.p, NewAttr((umlauts + "X.jpg").c_str(), 700, {{10, 1}}));  // the same once cut
    IKivFileNode* sub = AddFile(t.p, NewAttr(std::string(300, 'D').c_str(), 0, {}, KIV_FA_DIRECTORY, false));
    AddFile(sub, NewAttr("inner.bin", 900, {{20, 1}}));

    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&img.m_dev);
    KivTestCallback cb;
    char created[4096];
    ASSERT_EQ(rec.DoRecoverDir(t.p, &cb, d.Str().c_str(), created, sizeof created), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    fs::path top = d.Path() / "Part";
    EXPECT_EQ(KivTestReadFile(top / whole), a);
    EXPECT_EQ(KivTestReadFile(top / std::string(255, 'D') / "inner.bin"), b);
    EXPECT_EQ(rec.GetStats().nFilesFailed, 0u) << (cb.failReasons.empty() ? "" : cb.failReasons.front());
    // The two that clash once cut, whichever came first.
    std::map<std::string, std::string> nameOf(cb.written.begin(), cb.written.end());
    std::string cut = (top / (umlauts.substr(0, 250) + ".jpg")).string();
    std::string numbered = (top / (umlauts.substr(0, 246) + "_000.jpg")).string();
    ASSERT_TRUE(nameOf.count(cut) && nameOf.count(numbered));
    EXPECT_NE(nameOf[cut], nameOf[numbered]);
    for (const std::string& p : {cut, numbered})
        EXPECT_EQ(KivTestReadFile(p), nameOf[p] == umlauts + ".jpg" ? b : a) << nameOf[p];
    EXPECT_EQ(nameOf[(top / whole).string()], whole);
}
