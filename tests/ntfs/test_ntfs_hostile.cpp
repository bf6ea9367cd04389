// Hand-made volumes whose MFT lies: about its size, about the length of its attribute list, or
// ends before the root folder. The tree build must stay inside its tables and its memory.
#include <gtest/gtest.h>

#include <memory>

#include "KivAllocCounter.h"
#include "KivMemDevStor.h"
#include "KivSparseDevStor.h"
#include "NtfsCraft.h"
#include "NtfsTestSupport.h"

using namespace ntfs_craft;

namespace {

constexpr uint64_t kSmallVolume = 8192;  // 4 MiB
constexpr uint64_t kLargeVolume = 2ull << 20;  // 1 GiB, held sparsely

std::vector<uint8_t> Root() { return Record(5, kInUse | kDirectory).StdInfo(kHiddenSystem).FileName(5, u".", 0x10000000).Finish(); }
std::vector<uint8_t> File(uint32_t n, const std::u16string& name, uint64_t parent = 5) {
    std::vector<uint8_t> data(100, 'x');
    return Record(n, kInUse).StdInfo(0x20).FileName(parent, name).Resident(0x80, data).Finish();
}

// Builds the tree of the crafted partition; the result is released by the caller.
IKivFsNode* BuildCrafted(IKivDevStor* dev, uint64_t nSectors) {
    std::unique_ptr<CKivScanNTFSPartInfo> part(Partition(nSectors));
    std::unique_ptr<CKivNTFSScanner, void (*)(CKivNTFSScanner*)> scanner(
        static_cast<CKivNTFSScanner*>(CreateNtfsScanner()), [](CKivNTFSScanner* p) { p->Release(); });
    scanner->SetStorage(dev);
    return scanner->BuildTree(part.get(), dev, 0, nullptr);
}

bool HasName(IKivFileNode* dir, const std::string& name) {
    for (IKivFileNode* c = dir ? dir->GetFirstChild() : nullptr; c; c = c->GetNextSibling())
        if (name == c->GetAttr()->GetName() || HasName(c, name)) return true;
    return false;
}

// The tree of the large crafted volume still shows "/kept.txt", built with little held at once.
void ExpectKeptInLittleMemory(IKivDevStor* dev) {
    kiv_alloc::ResetPeak();
    IKivFsNode* root = BuildCrafted(dev, kLargeVolume);
    uint64_t peak = kiv_alloc::PeakSinceReset();
    ASSERT_NE(root, nullptr);
    EXPECT_NE(FindPath(root, "/kept.txt"), nullptr);
    root->Release();
    EXPECT_LT(peak, 24u << 20) << "bytes held at once";
}

}  // namespace

TEST(NtfsHostile, MftEndingBeforeTheRootRecordBuildsFromWhatItHolds) {
    // Two records stated (2048 bytes), though the run holds four: the root (record 5) is not in it.
    std::vector<std::vector<uint8_t>> recs(6, std::vector<uint8_t>(1024, 0));
    recs[0] = MftRecord({{1, kMftCluster}}, 2048).Finish();
    recs[1] = Record(1, kInUse).StdInfo(kHiddenSystem).FileName(5, u"$MFTMirr").Finish();
    recs[5] = Root();
    KivMemDevStor dev(Volume(kSmallVolume, recs));
    IKivFsNode* root = BuildCrafted(&dev, kSmallVolume);
    ASSERT_NE(root, nullptr);
    // Without a root every record is an orphan: both land in the lost folder.
    EXPECT_TRUE(HasName(root, "$MFT"));
    EXPECT_TRUE(HasName(root, "$MFTMirr"));
    root->Release();

    recs[0] = MftRecord({{1, kMftCluster}}, 1024).Finish();  // the $MFT record alone
    KivMemDevStor one(Volume(kSmallVolume, recs));
    if (IKivFsNode* r = BuildCrafted(&one, kSmallVolume)) r->Release();
}

TEST(NtfsHostile, StatedMftSizeDoesNotSizeTheTables) {
    // The MFT claims the whole 1 GiB volume (a million records); three records are real.
    const uint64_t clusters = kLargeVolume / kSecPerClus - kMftCluster;
    std::vector<std::vector<uint8_t>> recs(31, std::vector<uint8_t>(1024, 0));
    recs[0] = MftRecord({{clusters, kMftCluster}}, clusters * 4096).Finish();
    recs[5] = Root();
    recs[30] = File(30, u"kept.txt");
    KivSparseDevStor dev(Volume(kLargeVolume, recs, 1 << 20), kLargeVolume);
    ExpectKeptInLittleMemory(&dev);
}

TEST(NtfsHostile, AttributeListRunLongerThanAnyListIsNotAllocated) {
    // A non-resident attribute list whose one run spans the whole volume.
    const uint64_t clusters = kLargeVolume / kSecPerClus - 100;
    std::vector<std::vector<uint8_t>> recs(31, std::vector<uint8_t>(1024, 0));
    recs[0] = Record(0, kInUse)
                  .StdInfo(kHiddenSystem)
                  .NonResident(0x20, {{clusters, 100}}, 4096)
                  .FileName(5, u"$MFT")
                  .NonResident(0x80, {{8, kMftCluster}}, 8 * 4096)
                  .Finish();
    recs[5] = Root();
    recs[30] = File(30, u"kept.txt");
    KivSparseDevStor dev(Volume(kLargeVolume, recs, 1 << 20), kLargeVolume);
    ExpectKeptInLittleMemory(&dev);
    EXPECT_LT(dev.m_nSectorsRead, 64u << 10) << "only the list's stated length is read";
}

TEST(NtfsHostile, AttributeListLeadsToTheSecondExtentOfTheMft) {
    // Records 0..15 lie at cluster 4, records 16..31 at cluster 40; the second extent is described
    // by extension record 12, found through the attribute list (resident, then non-resident).
    auto listEntry = [](uint64_t vcn, uint64_t rec) {
        std::vector<uint8_t> e(32, 0);
        Put(e, 0, 0x80, 4);
        Put(e, 4, 32, 2);
        Put(e, 8, vcn, 8);
        Put(e, 16, rec | (1ull << 48), 8);
        return e;
    };
    std::vector<uint8_t> list = listEntry(0, 0), second = listEntry(4, 12);
    list.insert(list.end(), second.begin(), second.end());
    for (bool resident : {true, false}) {
        SCOPED_TRACE(resident ? "resident list" : "non-resident list");
        Record mft(0, kInUse);
        mft.StdInfo(kHiddenSystem);
        if (resident)
            mft.Resident(0x20, list);
        else
            mft.NonResident(0x20, {{1, 200}}, list.size());
        mft.FileName(5, u"$MFT").NonResident(0x80, {{4, kMftCluster}}, 8 * 4096);
        std::vector<std::vector<uint8_t>> recs(16, std::vector<uint8_t>(1024, 0));
        recs[0] = mft.Finish();
        recs[5] = Root();
        recs[12] = Record(12, kInUse, 0 | (1ull << 48)).NonResident(0x80, {{4, 40}}, 0, 4).Finish();
        std::vector<uint8_t> img = Volume(kSmallVolume, recs);
        PutRecord(img, 40 * 4096 + (30 - 16) * 1024, File(30, u"far.txt"));
        if (!resident) std::memcpy(&img[200 * 4096], list.data(), list.size());
        KivMemDevStor dev(img);
        IKivFsNode* root = BuildCrafted(&dev, kSmallVolume);
        ASSERT_NE(root, nullptr);
        EXPECT_NE(FindPath(root, "/far.txt"), nullptr);
        root->Release();
    }
}

TEST(NtfsHostile, ExtensionRecordsJoinOnlyTheRecordAndUseTheyNameInFull) {
    // Each file states two clusters; its record holds the first, an extension record the second.
    auto file = [](uint32_t n, const std::u16string& name, uint64_t lcn, uint16_t flags = kInUse, uint16_t seq = 1) {
        return Record(n, flags).Sequence(seq).StdInfo(0x20).FileName(5, name).NonResident(0x80, {{1, lcn}}, 8192).Finish();
    };
    auto extension = [](uint32_t n, uint64_t baseRef, uint64_t lcn) {
        return Record(n, kInUse, baseRef).NonResident(0x80, {{1, lcn}}, 0, 1).Finish();
    };
    constexpr uint64_t kSeq1 = 1ull << 48;
    std::vector<std::vector<uint8_t>> recs(40, std::vector<uint8_t>(1024, 0));
    recs[0] = MftRecord({{10, kMftCluster}}, 40 * 1024).Finish();
    recs[5] = Root();
    recs[30] = file(30, u"whole.bin", 100);
    recs[31] = extension(31, 30 | kSeq1, 101);
    recs[32] = file(32, u"cut.bin", 110);
    recs[33] = extension(33, ((1ull << 32) + 32) | kSeq1, 111);  // another record, 2^32 further on
    recs[34] = extension(34, 32 | (7ull << 48), 112);          // from an earlier use of record 32
    // Freeing a record raises its sequence number; its extensions still name the one before.
    recs[35] = file(35, u"deleted.bin", 120, 0, 2);
    recs[36] = extension(36, 35 | kSeq1, 121);
    std::vector<uint8_t> img = Volume(kSmallVolume, recs);
    for (uint64_t lcn : {100, 101, 110, 111, 112, 120, 121}) std::memset(&img[lcn * 4096], int(lcn), 4096);
    KivMemDevStor dev(img);
    IKivFsNode* root = BuildCrafted(&dev, kSmallVolume);
    ASSERT_NE(root, nullptr);
    struct Want {
        const char* path;
        uint64_t size;
        bool damaged;
        std::vector<uint8_t> firstBytes;
    };
    for (const Want& w : {Want{"/whole.bin", 8192, false, {100, 101}}, Want{"/cut.bin", 4096, true, {110}},
                          Want{"/deleted.bin", 8192, false, {120, 121}}}) {
        SCOPED_TRACE(w.path);
        IKivFileNode* node = FindPath(root, w.path);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetAttr()->GetSize(), w.size);
        EXPECT_EQ((node->GetAttr()->GetRecordState() & KIV_REC_DAMAGED) != 0, w.damaged);
        std::vector<uint8_t> data;
        ASSERT_TRUE(ReadNodeData(node, &dev, &data));
        std::vector<uint8_t> clusters;
        for (size_t at = 0; at < data.size(); at += 4096) clusters.push_back(data[at]);
        EXPECT_EQ(clusters, w.firstBytes);
    }
    root->Release();
}
