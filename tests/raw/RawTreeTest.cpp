#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "KivMemDevStor.h"
#include "Model/RawTypeTable.h"
#include "Raw/CustomFileAnalyser.h"
#include "Raw/KivRawTree.h"
#include "RawTestSupport.h"

namespace {

// n measured PNG records one sector apart.
void AddMeasured(CRawFileList* pList, uint32_t nTypeId, uint32_t n, uint64_t nFirst = 10) {
    for (uint32_t i = 0; i < n; ++i) {
        auto* p = new CRawFileInfo();
        p->m_nStartSector = nFirst + i;
        p->m_nSize = 100 + i;
        p->m_nTypeId = nTypeId;
        p->m_nAnalyserId = nTypeId;
        pList->Add(p);
    }
}

std::vector<std::string> SubfoldersOf(const std::vector<std::string>& folders, const std::string& parent) {
    std::vector<std::string> out;
    for (const auto& f : folders)
        if (f.rfind(parent + "/", 0) == 0) out.push_back(f.substr(parent.size() + 1));
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(RawTree, TypeFoldersSplitIntoRangesOf300) {
    SettingsGuard guard;
    KivMemDevStor dev(std::vector<uint8_t>(4096 * 512));
    const std::string png = RawTypeTable::Get().GetFolderOrExt(47);
    struct Case {
        uint32_t n;
        std::vector<std::string> subs;
    } cases[] = {
        {299, {}}, {300, {"1-300"}}, {301, {"1-300", "301-301"}}, {600, {"1-300", "301-600"}},
        {650, {"1-300", "301-600", "601-650"}},
    };
    for (const auto& c : cases) {
        CRawFileList list;
        AddMeasured(&list, 47, c.n);
        std::vector<std::string> folders;
        IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
        auto files = FlattenRawTree(pRoot, &folders);
        ASSERT_EQ(files.size(), c.n);
        EXPECT_EQ(SubfoldersOf(folders, png), c.subs) << c.n << " files";
        for (uint32_t k = 1; k <= c.n; ++k) {
            char name[32];
            std::snprintf(name, sizeof(name), "FILE%03u.PNG", k);
            auto it = files.find(name);
            ASSERT_NE(it, files.end()) << name;
            std::string want = png;
            if (c.n >= 300) {
                uint32_t lo = (k - 1) / 300 * 300 + 1;
                uint32_t hi = std::min(lo + 299, c.n);
                want += "/" + std::to_string(lo) + "-" + std::to_string(hi);
            }
            EXPECT_EQ(it->second.folder, want) << name;
            EXPECT_EQ(it->second.nRunStart, 10u + k - 1);
            EXPECT_EQ(it->second.nSize, 100u + k - 1);
        }
        // The folder keeps its files newest first, like every folder of the result tree.
        if (c.n == 300) {
            IKivFileNode* pType = pRoot->GetFirstChild();
            IKivFileNode* pSub = pType->GetFirstChild();
            EXPECT_EQ(pSub->GetNextSibling(), nullptr);
            EXPECT_STREQ(pSub->GetFirstChild()->GetAttr()->GetName(), "FILE300.PNG");
        }
        pRoot->Release();
    }
}

TEST(RawTree, ThumbnailRuleAndTitles) {
    SettingsGuard guard;
    KivMemDevStor dev(std::vector<uint8_t>(4096 * 512));
    CRawFileList list;
    auto add = [&](uint64_t start, uint64_t size, std::string title = {}) {
        auto* p = new CRawFileInfo();
        p->m_nStartSector = start;
        p->m_nSize = size;
        p->m_nTypeId = 33;
        p->m_nAnalyserId = 33;
        p->m_strTitle = std::move(title);
        list.Add(p);
    };
    add(100, 512 * 100, "Cam/One");  // sectors 100..199
    add(110, 512 * 5);               // 5 %: thumbnail
    add(120, 512 * 50);              // 50 %: kept, becomes the last picture
    add(130, 512 * 10);              // 20 % of the new last one: kept
    add(131, 300);                   // 6 % of the last kept one: thumbnail
    add(300, 512);                   // outside: kept
    add(4090, 512 * 100);            // runs past the end of the medium: cut there
    IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    std::vector<uint64_t> starts;
    for (const auto& [name, f] : files) starts.push_back(f.nRunStart);
    std::sort(starts.begin(), starts.end());
    EXPECT_EQ(starts, (std::vector<uint64_t>{100, 120, 130, 300, 4090}));
    EXPECT_EQ(files["FILE005.JPG"].nSize, 6u * 512);
    // A title from the file cannot make a path.
    EXPECT_EQ(files.count("Cam_One001.JPG"), 1u);
    EXPECT_EQ(files.count("FILE004.JPG"), 1u);
    pRoot->Release();
}

TEST(RawTree, UserDefinedTypesShareIdsAndRunToTheNextFile) {
    SettingsGuard guard;
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("kiv-custom-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "one.fhs", std::ios::binary) << "FILEINFO: EXTNAME=\"kvx\"\r\nFILESIGN: OFFSET=0x0 TYPE=CHAR VALUE=\"KVX1\"";
    std::ofstream(dir / "two.fhs", std::ios::binary) << "FILEINFO: EXTNAME=\"KVX\"\r\nFILESIGN: OFFSET=0x0 TYPE=CHAR VALUE=\"KVX2\"";
    CustomFileAnalyser analyser(dir.string());
    fs::remove_all(dir);
    EXPECT_EQ(analyser.GetId(), -1);
    EXPECT_EQ(analyser.FirstBytes(), "K");
    ASSERT_EQ(analyser.GetHeaders().Count(), 2u);

    std::vector<uint8_t> s1(512, 0x20), s2(512, 0x20), s3(512, 0x20);
    std::memcpy(s1.data(), "KVX1", 4);
    std::memcpy(s2.data(), "KVX2", 4);
    std::memcpy(s3.data(), "KVX3", 4);
    CRawFileInfo a, b, c;
    ASSERT_TRUE(analyser.CheckHeader(s1, &a));
    ASSERT_TRUE(analyser.CheckHeader(s2, &b));
    EXPECT_FALSE(analyser.CheckHeader(s3, &c));
    EXPECT_EQ(a.m_nTypeId, b.m_nTypeId);
    EXPECT_GE(a.m_nTypeId, RawTypeTable::kCustomFirst);
    EXPECT_EQ(RawTypeTable::Get().GetExt(a.m_nTypeId), "KVX");
    EXPECT_FALSE(analyser.MeasureFile(&a, nullptr));

    // Sizes: up to the next carved file, at most the limit, at most the device end.
    KivMemDevStor dev(std::vector<uint8_t>(1000 * 512));
    CRawFileList list;
    auto add = [&](uint64_t start, uint32_t type, uint32_t analyserId, uint64_t size) {
        auto* p = new CRawFileInfo();
        p->m_nStartSector = start;
        p->m_nTypeId = type;
        p->m_nAnalyserId = analyserId;
        p->m_nSize = size;
        list.Add(p);
    };
    add(10, a.m_nTypeId, 0xFFFFFFFF, 0);
    add(30, 47, 47, 1000);  // another type, found later by start
    add(100, a.m_nTypeId, 0xFFFFFFFF, 0);
    add(990, a.m_nTypeId, 0xFFFFFFFF, 0);
    KivScanSettings::Get().selectedTypeIds = {47};
    IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    EXPECT_EQ(FlattenRawTree(pRoot).size(), 1u);  // user-defined types not selected
    pRoot->Release();
    KivScanSettings::Get().selectedTypeIds = {47, 74};
    KivScanSettings::Get().nMaxCustomSize = 200 * 512;
    pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files["FILE001.KVX"].nSize, 20u * 512);
    EXPECT_EQ(files["FILE002.KVX"].nSize, 200u * 512);
    EXPECT_EQ(files["FILE003.KVX"].nSize, 10u * 512);
    EXPECT_EQ(files["FILE001.KVX"].folder, "KVX");
    pRoot->Release();
}

TEST(RawTree, ShippedHeadersFindFilesDuringTheScan) {
    // The scan loads the ".fhs" files shipped beside the program; the MPEG one matches a pack header.
    SettingsGuard guard;
    std::vector<uint8_t> image(64 * 512, 0);
    const uint8_t pack[] = {0x00, 0x00, 0x01, 0xBA, 0x44};
    std::memcpy(&image[5 * 512], pack, sizeof(pack));
    std::memcpy(&image[20 * 512], pack, sizeof(pack));
    KivMemDevStor dev(image);
    KivScanSettings::Get().selectedTypeIds = {74};
    CRawFileList list;
    EXPECT_EQ(RunRawScan(&dev, &list, 16), 2u);
    ASSERT_EQ(list.Size(), 2u);
    EXPECT_EQ(static_cast<int32_t>(list.At(0)->m_nAnalyserId), -1);
    EXPECT_EQ(RawTypeTable::Get().GetExt(list.At(0)->m_nTypeId), "MPG");
    IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    EXPECT_EQ(files["FILE001.MPG"].nSize, 15u * 512);
    EXPECT_EQ(files["FILE002.MPG"].nSize, 44u * 512);
    pRoot->Release();
}

// A file whose end was not found, and one whose stated size runs past the medium, reach recovery
// as damaged files with their reasons; whole files carry none.
TEST(RawTree, DamagedCarvedFilesCarryTheirReason) {
    SettingsGuard guard;
    KivMemDevStor dev(std::vector<uint8_t>(64 * 512));
    CRawFileList list;
    AddMeasured(&list, 47, 3);
    list.At(1)->m_nDamage = kCarveEndNotFound;
    list.At(2)->m_nStartSector = 60;
    list.At(2)->m_nSize = 10 * 512;
    IKivFileNode* pRoot = BuildRawTree(nullptr, nullptr, &dev, &list);
    auto files = FlattenRawTree(pRoot);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files["FILE001.PNG"].damage, "");
    EXPECT_EQ(files["FILE002.PNG"].damage, "end not found");
    EXPECT_EQ(files["FILE003.PNG"].damage, "cut by the end of the medium");
    EXPECT_EQ(files["FILE003.PNG"].nSize, 4u * 512);
    pRoot->Release();
}
