// Carving type table, extension filter, scan settings, recycle-bin rules, cluster-use bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Model/CClusterUseBitMap.h"
#include "Model/CKivExtFilterEx.h"
#include "Model/KivNodeFactory.h"
#include "Model/KivRecycleBin.h"
#include "Model/KivScanSettings.h"
#include "Model/RawTypeTable.h"

namespace {

std::vector<uint8_t> Utf16(const std::u16string& s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) {
        b.push_back(static_cast<uint8_t>(c));
        b.push_back(static_cast<uint8_t>(c >> 8));
    }
    return b;
}

// A Vista-style information entry: version 2, size, time, length, path.
std::vector<uint8_t> InfoEntry(const std::u16string& path) {
    std::vector<uint8_t> b(28, 0);
    b[0] = 2;
    b[24] = static_cast<uint8_t>(path.size() + 1);
    auto p = Utf16(path);
    b.insert(b.end(), p.begin(), p.end());
    b.push_back(0);
    b.push_back(0);
    return b;
}

}  // namespace

TEST(TypeTable, FixedRows) {
    const RawTypeTable& t = RawTypeTable::Get();
    EXPECT_EQ(t.GetExt(0), "Raw");
    EXPECT_EQ(t.GetExt(33), "JPG");
    EXPECT_EQ(t.GetFolderName(33), "JPEG Graphics");
    EXPECT_EQ(t.GetExt(72), "ACCDB");
    EXPECT_EQ(t.GetExt(74), "MPG");
    EXPECT_EQ(t.GetFolderName(74), "");
    EXPECT_EQ(t.GetFolderOrExt(74), "MPG");
    EXPECT_EQ(t.GetExt(75), "HEIC");
    EXPECT_EQ(t.GetExt(99), "RAF");
    EXPECT_EQ(t.GetExt(100), "");
    EXPECT_FALSE(t.IsValidId(500));
    for (uint32_t i = 0; i < RawTypeTable::kFixedCount; ++i) {
        EXPECT_LE(t.GetExt(i).size(), RawTypeTable::kMaxExt);
        EXPECT_LE(t.GetFolderName(i).size(), RawTypeTable::kMaxFolder);
    }
    auto doc = t.GetAnalyserNames(21);
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0], "FileOLEAnalyser");
    EXPECT_EQ(doc[1], "FileLowDocAnalyser");
    EXPECT_TRUE(t.GetAnalyserNames(20).empty());
    uint32_t nId = 0;
    ASSERT_TRUE(t.FindByExt("docx", &nId));
    EXPECT_EQ(nId, 69u);
    EXPECT_FALSE(t.FindByExt("", &nId));
}

TEST(TypeTable, CustomIdsInOrderOfFirstSightUntilExhausted) {
    RawTypeTable& t = RawTypeTable::Get();
    t.ClearCustom();
    uint32_t a = 0, b = 0, c = 0;
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("qqa", &a)));
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("QQB", &b)));
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("QQA", &c)));  // case does not matter
    EXPECT_EQ(a, 1000u);
    EXPECT_EQ(b, 1001u);
    EXPECT_EQ(c, 1000u);
    EXPECT_EQ(t.GetExt(1001), "QQB");
    EXPECT_EQ(t.GetFolderOrExt(1001), "QQB");
    // Longer extensions are kept whole ("TAR.GZ" must not become "TAR.G"), up to 16 characters.
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("TAR.GZ", &c)));
    EXPECT_EQ(t.GetExt(c), "TAR.GZ");
    uint32_t d = 0;
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("ABCDEFGHIJKLMNOPQRS", &d)));
    EXPECT_EQ(t.GetExt(d), "ABCDEFGHIJKLMNOP");
    // Nothing of an extension reaches a path as a separator, a control character or a dot name.
    uint32_t e = 0;
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("../x\\y", &e)));
    EXPECT_EQ(t.GetExt(e), ".._x_y");
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("..", &e)));
    EXPECT_EQ(t.GetFolderOrExt(e), "__");
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("a\tb", &e)));
    EXPECT_EQ(t.GetExt(e), "a_b");
    EXPECT_TRUE(KivFailed(t.GetCustomId("", &d)));
    EXPECT_TRUE(KivFailed(t.GetCustomId(nullptr, &d)));

    for (int i = 0; t.GetCustomCount() < 1000; ++i) {
        uint32_t n = 0;
        ASSERT_TRUE(KivSucceeded(t.GetCustomId(("x" + std::to_string(i)).c_str(), &n)));
        ASSERT_LE(n, RawTypeTable::kCustomLast);
    }
    uint32_t nFull = 12345;
    EXPECT_TRUE(KivFailed(t.GetCustomId("fresh", &nFull)));
    EXPECT_EQ(nFull, 12345u);  // no id outside 1000..1999 handed out
    ASSERT_TRUE(KivSucceeded(t.GetCustomId("qqb", &nFull)));  // known ones still resolve
    EXPECT_EQ(nFull, 1001u);
    EXPECT_TRUE(t.IsValidId(1999));
    t.ClearCustom();
    EXPECT_FALSE(t.IsValidId(1000));
}

TEST(ExtFilter, ExtensionAndModes) {
    CKivExtFilterEx f;
    std::string ext;
    ASSERT_TRUE(KivSucceeded(f.GetExtLowName("Photo.Backup.JPG", &ext)));
    EXPECT_EQ(ext, "jpg");
    f.GetExtLowName("C:\\dir.x\\README", &ext);
    EXPECT_EQ(ext, "readme");
    f.GetExtLowName("noext", &ext);
    EXPECT_EQ(ext, "noext");
    EXPECT_TRUE(KivFailed(f.GetExtLowName(nullptr, &ext)));
    EXPECT_EQ(ext, "");

    EXPECT_EQ(f.GetMode(), CKivExtFilterEx::MODE_ALL);
    EXPECT_EQ(f.SelectedTypeIds().size(), 99u);
    EXPECT_EQ(f.SelectedTypeIds().front(), 1u);
    EXPECT_EQ(f.SelectedTypeIds().back(), 99u);

    f.SetMode(CKivExtFilterEx::MODE_ONLY);
    f.SetExts({"JPG"});
    EXPECT_EQ(f.SelectedTypeIds(), std::vector<uint32_t>{33});
    EXPECT_TRUE(f.IsNameKept("a.jpg"));
    EXPECT_FALSE(f.IsNameKept("a.png"));
    EXPECT_FALSE(f.IsNameKept("photo."));
    EXPECT_FALSE(f.IsFileNameKept("photo.", false));
    EXPECT_FALSE(f.IsFileNameKept("README", false));
    EXPECT_TRUE(f.IsFileNameKept("DCIM", true));
    EXPECT_TRUE(f.IsFileNameKept("IMG_1.JPG", false));

    f.SetMode(CKivExtFilterEx::MODE_EXCEPT);
    EXPECT_FALSE(f.IsNameKept("a.JPG"));
    EXPECT_TRUE(f.IsNameKept("photo."));
    EXPECT_TRUE(f.IsFileNameKept("README", false));
    std::vector<uint32_t> ids = f.SelectedTypeIds();
    EXPECT_EQ(ids.size(), 98u);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 33u), 0);

    f.SetExts({});
    f.SetMode(CKivExtFilterEx::MODE_ONLY);
    EXPECT_TRUE(f.IsNameKept("anything.bin"));  // an empty set keeps all
}

TEST(ScanSettings, Defaults) {
    KivScanSettings s;
    ASSERT_EQ(s.selectedTypeIds.size(), 98u);
    EXPECT_EQ(s.selectedTypeIds.front(), 1u);
    EXPECT_EQ(s.selectedTypeIds.back(), 99u);
    EXPECT_TRUE(s.IsTypeSelected(33));
    EXPECT_TRUE(s.IsTypeSelected(80));
    EXPECT_FALSE(s.IsTypeSelected(74));
    EXPECT_EQ(s.nMaxCarvedSize, 50000000u);
    EXPECT_TRUE(s.bCarvedSubtree);
    EXPECT_EQ(&KivScanSettings::Get(), &KivScanSettings::Get());
}

TEST(RecycleBin, FolderNamesInAnyCase) {
    for (const char* psz : {"$RECYCLE.BIN", "$recycle.bin", "RECYCLER", "recycled", "$RECYCLE.BI0"})
        EXPECT_TRUE(KivIsRecycleBinName(psz)) << psz;
    for (const char* psz : {"$RECYCLE.BIN2", "Recycle", "", "$RECYCLE.BI1"}) EXPECT_FALSE(KivIsRecycleBinName(psz)) << psz;
    EXPECT_FALSE(KivIsRecycleBinName(nullptr));
}

TEST(RecycleBin, PairingTakesThePartnerFromTheCandidates) {
    EXPECT_EQ(KivRecyclePartnerName("$IAB12CD.jpg"), "$RAB12CD.jpg");
    EXPECT_EQ(KivRecyclePartnerName("#R0001"), "#I0001");
    EXPECT_EQ(KivRecyclePartnerName("$I"), "$R");
    EXPECT_EQ(KivRecyclePartnerName("$"), "");
    EXPECT_EQ(KivRecyclePartnerName("$XAB"), "");
    EXPECT_EQ(KivRecyclePartnerName(nullptr), "");

    IKivFileNode* r = KivNewDirNode(KIV_ATTR_NTFS, "$RAB12CD.jpg");
    IKivFileNode* o = KivNewDirNode(KIV_ATTR_NTFS, "other");
    std::vector<IKivFileNode*> cand = {o, r};
    EXPECT_EQ(KivTakeRecyclePartner("$IAB12CD.jpg", &cand), r);
    EXPECT_EQ(cand.size(), 1u);
    EXPECT_EQ(KivTakeRecyclePartner("$IAB12CD.jpg", &cand), nullptr);
    r->Release();
    o->Release();
}

TEST(RecycleBin, OriginalNameFromTheInformationEntry) {
    EXPECT_EQ(KivRecycleOriginalName(InfoEntry(u"C:\\Users\\Ann\\Bilder\\Urlaub Ä.jpg")), "Urlaub Ä.jpg");
    EXPECT_EQ(KivRecycleOriginalName(InfoEntry(u"D:\\x.txt")), "x.txt");
    EXPECT_EQ(KivRecycleOriginalName(InfoEntry(u"no drive\\part.txt")), "");
    EXPECT_EQ(KivRecycleOriginalName(InfoEntry(u"C:\\dir\\")), "");
    // Leftover bytes after the path's 0 must not supply the last backslash.
    auto junk = InfoEntry(u"E:\\keep.doc");
    auto tail = Utf16(u"\\wrong");
    junk.insert(junk.end(), tail.begin(), tail.end());
    EXPECT_EQ(KivRecycleOriginalName(junk), "keep.doc");
    // Odd and tiny sizes, a path beyond the first 512 characters.
    EXPECT_EQ(KivRecycleOriginalName(std::vector<uint8_t>{':', 0, '\\'}), "");
    std::vector<uint8_t> far(1100, 'a');
    auto p = Utf16(u"C:\\late.txt");
    std::copy(p.begin(), p.end(), far.begin() + 1030);
    EXPECT_EQ(KivRecycleOriginalName(far), "");

    IKivFileNode* info = KivNewDirNode(KIV_ATTR_NTFS, "$I123.jpg");
    IKivFileNode* data = KivNewDirNode(KIV_ATTR_NTFS, "$R123.jpg");
    size_t nAsked = 0;
    auto reader = [&](IKivFileNode* pNode, uint8_t* pBuf, size_t nLen) -> size_t {
        EXPECT_EQ(pNode, info);
        nAsked = nLen;
        auto b = InfoEntry(u"C:\\Docs\\Urlaub.jpg");
        std::memcpy(pBuf, b.data(), b.size());
        return 5000;  // a reader that claims too much is capped
    };
    EXPECT_TRUE(KivJoinRecyclePair(data, info, reader));
    EXPECT_EQ(nAsked, 1024u);
    EXPECT_STREQ(data->GetAttr()->GetName(), "Urlaub.jpg");
    EXPECT_STREQ(info->GetAttr()->GetName(), "$I123.jpg");
    EXPECT_FALSE(KivJoinRecyclePair(data, data, reader));
    info->Release();
    data->Release();
}

TEST(ClusterBitmap, OutsideTheAreaCountsAsUsed) {
    CClusterUseBitMap m;
    EXPECT_TRUE(KivFailed(m.Init(0, 0, 10)));
    ASSERT_TRUE(KivSucceeded(m.Init(1000, 4, 130)));
    m.SetUsed(1);
    m.SetUsed(60, 70);     // crosses word boundaries
    m.SetUsed(129, 1000);  // clipped at the count
    EXPECT_EQ(m.IsClusterUsed(999), 1);   // before the area
    EXPECT_EQ(m.IsClusterUsed(1000), 0);  // cluster 0
    EXPECT_EQ(m.IsClusterUsed(1004), 1);  // cluster 1
    EXPECT_EQ(m.IsClusterUsed(1007), 1);
    EXPECT_EQ(m.IsClusterUsed(1008), 0);  // cluster 2
    EXPECT_EQ(m.IsClusterUsed(1000 + 59 * 4), 0);
    EXPECT_EQ(m.IsClusterUsed(1000 + 60 * 4), 1);
    EXPECT_EQ(m.IsClusterUsed(1000 + 128 * 4), 1);  // 60 + 70 - 1 = 129
    EXPECT_EQ(m.IsClusterUsed(1000 + 130 * 4), 1);  // beyond the count
    EXPECT_EQ(m.IsClusterUsed(~0ull), 1);
    EXPECT_TRUE(KivFailed(m.Init(0, 1, ~0ull)));  // cannot be allocated
}

TEST(ClusterBitmap, AnyUsedAgreesWithTheBitsOverEveryRange) {
    // Sparse marks over several blocks of the summary, and every range shape around them.
    const uint64_t n = 64 * 64 * 3 + 77;
    CClusterUseBitMap m;
    ASSERT_TRUE(KivSucceeded(m.Init(0, 1, n)));
    std::vector<bool> want(n);
    for (uint64_t c : std::vector<uint64_t>{0, 63, 64, 4095, 4096, 8191, 9000, n - 1}) {
        m.SetUsed(c);
        want[c] = true;
        for (uint64_t first : std::vector<uint64_t>{0, c > 0 ? c - 1 : 0, c, c + 1, c > 5000 ? c - 5000 : 0})
            for (uint64_t len : std::vector<uint64_t>{1, 2, 64, 65, 4096, 9000, ~0ull}) {
                bool bAny = false;
                for (uint64_t i = first; i < n && i - first < len; ++i) bAny = bAny || want[i];
                ASSERT_EQ(m.AnyUsed(first, len), bAny) << "after " << c << ": " << first << "+" << len;
            }
    }
    EXPECT_FALSE(m.AnyUsed(n, 10));  // beyond the count nothing is known to be used
    EXPECT_FALSE(m.AnyUsed(5, 0));
}
