#include <gtest/gtest.h>

#include <filesystem>

#include "KivMemDevStor.h"
#include "Model/IIsClusterUsed.h"
#include "Model/RawTypeTable.h"
#include "Raw/CKivRAWScanner.h"
#include "Raw/KivRawTree.h"
#include "RawTestSupport.h"

namespace {

std::vector<uint32_t> AllFixedTypes() {
    std::vector<uint32_t> ids;
    for (uint32_t i = 1; i <= 73; ++i) ids.push_back(i);
    return ids;
}

class RawImageLinux : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_image = MakeCarvingImage(false, &s_manifest);
        ASSERT_FALSE(s_image.empty());
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(std::filesystem::path(s_image).parent_path()); }

    static std::string s_image;
    static std::vector<ManifestEntry> s_manifest;
    SettingsGuard m_guard;
};
std::string RawImageLinux::s_image;
std::vector<ManifestEntry> RawImageLinux::s_manifest;

}  // namespace

TEST_F(RawImageLinux, EveryFileFoundMeasuredNamedAndFiled) {
    KivScanSettings::Get().selectedTypeIds = AllFixedTypes();
    KivFileDevStor dev(s_image);
    ASSERT_TRUE(dev.IsOpen());
    CRawFileList list;
    uint64_t nFound = RunRawScan(&dev, &list, 8192);
    EXPECT_EQ(nFound, list.Size());
    ASSERT_EQ(list.Size(), s_manifest.size());
    for (const auto& e : s_manifest) {
        const CRawFileInfo* pFound = list.FindByStart(e.nStart);
        ASSERT_NE(pFound, nullptr) << e.name << " at " << e.nStart;
        // The image is shorter than the ring: nothing could be measured during the scan.
        EXPECT_EQ(pFound->m_nSize, 0u) << e.name;
    }

    TestProgress progress;
    IKivFileNode* pRoot = BuildRawTree(nullptr, &progress, &dev, &list);
    ASSERT_NE(pRoot, nullptr);
    EXPECT_STREQ(pRoot->GetAttr()->GetName(), KIV_NAME_RAW_ROOT);
    EXPECT_TRUE(pRoot->GetAttr()->GetAttributes() & KIV_FA_DIRECTORY);
    // Then the pictures, archives and documents with a checkable end are checked in a phase of their own.
    EXPECT_EQ(progress.phases["Building the list of found files"].total, list.Size());
    EXPECT_EQ(progress.phases["Building the list of found files"].last, list.Size());
    EXPECT_EQ(progress.title, "Checking the content of carved files");
    EXPECT_EQ(progress.ends, 2);

    auto files = FlattenRawTree(pRoot);
    size_t nListed = 0;
    for (const auto& e : s_manifest) {
        if (e.name == "-") {
            for (const auto& [name, f] : files) EXPECT_NE(f.nRunStart, e.nStart) << "thumbnail listed as " << name;
            continue;
        }
        ++nListed;
        auto it = files.find(e.name);
        ASSERT_NE(it, files.end()) << e.name;
        EXPECT_EQ(it->second.folder, RawTypeTable::Get().GetFolderOrExt(e.nTypeId)) << e.name;
        EXPECT_EQ(it->second.nSize, e.nSize) << e.name;
        EXPECT_EQ(it->second.nRunStart, e.nStart) << e.name;
        EXPECT_EQ(it->second.nRunLength, (e.nSize + 511) / 512) << e.name;
    }
    EXPECT_EQ(files.size(), nListed);
    EXPECT_EQ(files["TestCam002.JPG"].detail, "2021:06:01 12:00:00");
    // Records are measured again at every build, so they keep size 0.
    for (size_t i = 0; i < list.Size(); ++i) EXPECT_EQ(list.At(i)->m_nSize, 0u);
    pRoot->Release();
}

TEST_F(RawImageLinux, RefinedTypeOutsideTheSelectionIsLeftOut) {
    // DOC brings the compound-file analyser, which also finds the workbook; that one is refined
    // to XLS when measured and must not be listed.
    KivScanSettings::Get().selectedTypeIds = {21};
    KivFileDevStor dev(s_image);
    CRawFileList list;
    RunRawScan(&dev, &list);
    ASSERT_EQ(list.Size(), 2u);
    IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->first, "FILE001.DOC");
    EXPECT_EQ(files.begin()->second.folder, "MS Word Document");
    pRoot->Release();
}

TEST_F(RawImageLinux, SeveralCompoundFileAnalysersRecordAFileOnce) {
    KivScanSettings::Get().selectedTypeIds = {21, 48, 67};
    KivFileDevStor dev(s_image);
    CRawFileList list;
    RunRawScan(&dev, &list);
    EXPECT_EQ(list.Size(), 2u);
    IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    EXPECT_EQ(files.count("FILE001.DOC"), 1u);
    EXPECT_EQ(files.count("FILE001.XLS"), 1u);
    EXPECT_EQ(files.size(), 2u);
    pRoot->Release();
}

TEST_F(RawImageLinux, UsedSectorsSubtreeSwitchAndStop) {
    KivScanSettings::Get().selectedTypeIds = AllFixedTypes();
    KivFileDevStor dev(s_image);
    CRawFileList list;
    RunRawScan(&dev, &list);

    // Files the file-system scanners already found are not listed again.
    struct UsedBelow : IIsClusterUsed {
        uint64_t limit;
        int IsClusterUsed(uint64_t s) override { return s < limit; }
    } used;
    used.limit = 700;
    TestProgress progress;
    IKivFileNode* pRoot = BuildRawTree(&used, &progress, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    size_t nExpected = 0;
    for (const auto& e : s_manifest) nExpected += e.nStart >= 700 && e.name != "-";
    EXPECT_EQ(files.size(), nExpected);
    EXPECT_EQ(progress.phases["Building the list of found files"].total, nExpected);
    for (const auto& [name, f] : files) EXPECT_GE(f.nRunStart, 700u) << name;
    pRoot->Release();

    progress = TestProgress();
    progress.stopAfter = 2;
    pRoot = BuildRawTree(nullptr, &progress, &dev, &list);
    EXPECT_EQ(FlattenRawTree(pRoot).size(), 2u);
    pRoot->Release();

    KivScanSettings::Get().bCarvedSubtree = false;
    EXPECT_EQ(BuildRawTree(nullptr, nullptr, &dev, &list), nullptr);
}

TEST(RawScanBigLinux, FilesLongerThanTheRingAndFilesInTheLastBlocks) {
    SettingsGuard guard;
    KivScanSettings::Get().selectedTypeIds = AllFixedTypes();
    KivScanSettings::Get().nMaxCarvedSize = 200ull * 1024 * 1024;
    std::vector<ManifestEntry> manifest;
    std::string image = MakeCarvingImage(true, &manifest);
    ASSERT_FALSE(image.empty());
    KivFileDevStor dev(image);
    CRawFileList list;
    RunRawScan(&dev, &list);
    ASSERT_EQ(list.Size(), manifest.size());

    uint64_t nSecs = dev.GetSectorCount();
    uint64_t nLastRingStart = (nSecs + 8191) / 8192 > 20 ? ((nSecs + 8191) / 8192 - 20) * 8192 : 0;
    const ManifestEntry* pHuge = nullptr;
    for (const auto& e : manifest) {
        const CRawFileInfo* p = list.FindByStart(e.nStart);
        ASSERT_NE(p, nullptr) << e.name;
        if (e.nSize > 80u * 1024 * 1024) pHuge = &e;
        // Files whose block left a full ring were measured from it during the scan.
        if (e.nStart < nLastRingStart && e.name != "-") {
            EXPECT_EQ(p->m_nSize, e.nSize) << e.name;
        }
        if (e.nStart >= nLastRingStart) {
            EXPECT_EQ(p->m_nSize, 0u) << e.name;
        }
    }
    ASSERT_NE(pHuge, nullptr);
    ASSERT_GT(manifest.back().nStart, nLastRingStart);

    // What the ring keeps in memory changes where measured bytes come from, never what is measured:
    // files that cross block boundaries, measured wholly from memory or wholly read again.
    for (int nRingData : {0, 1, int(CKivRAWScanner::kRingBlocks)}) {
        CRawFileList other;
        RunRawScan(&dev, &other, 8192, nRingData);
        ASSERT_EQ(other.Size(), list.Size()) << nRingData;
        for (size_t i = 0; i < list.Size(); ++i) {
            const CRawFileInfo &a = *list.At(i), &b = *other.At(i);
            EXPECT_EQ(b.m_nStartSector, a.m_nStartSector) << nRingData;
            EXPECT_EQ(b.m_nSize, a.m_nSize) << nRingData << " at " << a.m_nStartSector;
            EXPECT_EQ(b.m_nTypeId, a.m_nTypeId) << nRingData << " at " << a.m_nStartSector;
            EXPECT_EQ(b.m_nDamage, a.m_nDamage) << nRingData << " at " << a.m_nStartSector;
            EXPECT_EQ(b.m_strTitle.str(), a.m_strTitle.str()) << nRingData << " at " << a.m_nStartSector;
            EXPECT_EQ(b.m_strDetail.str(), a.m_strDetail.str()) << nRingData << " at " << a.m_nStartSector;
        }
    }

    IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    for (const auto& e : manifest) {
        if (e.name == "-") continue;
        ASSERT_EQ(files.count(e.name), 1u) << e.name;
        EXPECT_EQ(files[e.name].nSize, e.nSize) << e.name;
        EXPECT_EQ(files[e.name].nRunStart, e.nStart) << e.name;
    }
    pRoot->Release();
    std::filesystem::remove_all(std::filesystem::path(image).parent_path());
}
