// File attributes: stored orders, what Load resets, the kinds' limits and masks.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Model/CKivFileAttrExFAT.h"
#include "Model/CKivFileAttrFAT.h"
#include "Model/CKivFileAttrNTFS.h"
#include "Model/CKivFileAttrRAW.h"
#include "Model/CKivFileAttrRoot.h"
#include "Model/CKivMemStream.h"

namespace {

void Fill(CKivFileAttrBase& a) {
    a.SetName("Fotos März.jpg");
    a.SetSize(123456789012ull);
    a.SetAttributes(KIV_FA_ARCHIVE | KIV_FA_COMPRESSED);
    a.SetTimes(0x01D0000000000001ull, 0x01D0000000000002ull, 0x01D0000000000003ull);
    a.SetRecordState(KIV_REC_DELETED);
    a.SetCheckState(KIV_CHECK_FULL);
    a.SetUserValue(77);
}

void ExpectCommon(CKivFileAttrBase& a, CKivFileAttrBase& b, bool bTimes) {
    EXPECT_STREQ(a.GetName(), b.GetName());
    EXPECT_EQ(a.GetSize(), b.GetSize());
    EXPECT_EQ(a.GetAttributes(), b.GetAttributes());
    if (bTimes) {
        EXPECT_EQ(a.GetCreationTime(), b.GetCreationTime());
        EXPECT_EQ(a.GetModificationTime(), b.GetModificationTime());
        EXPECT_EQ(a.GetAccessTime(), b.GetAccessTime());
        EXPECT_EQ(a.GetRecordState(), b.GetRecordState());
    }
    EXPECT_EQ(b.GetCheckState(), 0);
}

template <class T>
std::unique_ptr<T> RoundTrip(T& a, size_t* pBytes = nullptr) {
    CKivMemStream s;
    EXPECT_TRUE(a.Save(&s));
    if (pBytes) *pBytes = s.Size();
    auto b = std::make_unique<T>();
    b->SetUserValue(5);
    b->SetCheckState(KIV_CHECK_PART);
    EXPECT_TRUE(b->Load(&s));
    EXPECT_EQ(s.ReadPos(), s.Size());  // Load consumes exactly what Save wrote
    return b;
}

}  // namespace

TEST(Attrs, FatRoundTripAndLayout) {
    CKivFileAttrFAT a;
    Fill(a);
    a.SetSecondName("FOTOSM~1.JPG");
    a.SetScannerValues(345, 2);
    CKivCompactRunList runs;
    runs.Append(343, 10);
    a.SetRuns(runs);
    size_t n = 0;
    auto b = RoundTrip(a, &n);
    std::string name = a.GetName();
    EXPECT_EQ(n, 4 + name.size() + 12 + 8 + 2 + 24 + 1 + 8 + 4 + (4 + runs.Bytes().size() + 2));
    ExpectCommon(a, *b, true);
    EXPECT_EQ(b->GetUserValue(), 0u);
    EXPECT_STREQ(b->GetSecondName(), "FOTOSM~1.JPG");
    EXPECT_EQ(b->GetFirstCluster(), 345u);
    EXPECT_EQ(b->GetDirCluster(), 2u);
    ASSERT_TRUE(b->GetRuns());
    EXPECT_TRUE(*b->GetRuns() == runs);
    EXPECT_EQ(b->GetAttrKind(), KIV_ATTR_FAT);
    EXPECT_EQ(b->GetValidFields(), 255u);
    EXPECT_EQ(b->GetNameLength(), name.size());
    EXPECT_STREQ(b->GetTypeText(), "");

    CKivFileAttrFAT noRuns;  // no run list at all: GetDataRunList answers none
    noRuns.SetScannerValues(0xFFFFFFFF, 0xFFFFFFFF);
    auto c = RoundTrip(noRuns);
    EXPECT_EQ(c->GetRuns(), nullptr);
    EXPECT_EQ(c->GetDataRunList(), nullptr);
    EXPECT_EQ(c->GetFirstCluster(), 0xFFFFFFFFu);
}

TEST(Attrs, ExFatRoundTripKeepsValidLengthAndDamage) {
    CKivFileAttrExFAT a;
    Fill(a);
    a.SetValidLength(5000);
    a.SetClusters(345, 5);
    a.SetDamage(CKivFileAttrExFAT::kReused);
    CKivCompactRunList runs;
    runs.Append(343, 10);
    a.SetRuns(runs);
    size_t n = 0;
    auto b = RoundTrip(a, &n);
    std::string name = a.GetName();
    EXPECT_EQ(n, 2 + name.size() + 8 + 8 + 2 + 24 + 1 + 4 + 4 + 1 + (4 + 4 + runs.Bytes().size() + 2));
    ExpectCommon(a, *b, true);
    EXPECT_EQ(b->GetAttrKind(), KIV_ATTR_EXFAT);
    EXPECT_EQ(b->GetValidLength(), 5000u);
    EXPECT_EQ(b->GetFirstCluster(), 345u);
    EXPECT_EQ(b->GetDirCluster(), 5u);
    EXPECT_EQ(b->GetDamage(), CKivFileAttrExFAT::kReused);
    EXPECT_NE(b->GetDataDamage(), nullptr);
    b->SetDamage(CKivFileAttrExFAT::kGuessed);
    EXPECT_EQ(b->GetDataDamage(), nullptr) << "a guessed layout is not known to be wrong";
    ASSERT_TRUE(b->GetRuns());
    EXPECT_TRUE(*b->GetRuns() == runs);
}

TEST(Attrs, NtfsRoundTripWithPairsAndEmptyName) {
    CKivFileAttrNTFS a;
    Fill(a);
    a.SetRecordRef(0x0005000000001234ull);
    a.SetScannerPairs({{1, 2}, {0xFFFFFFFFFFFFFFFFull, 4}});
    CKivCompactRunList runs;
    runs.Append(1000, 5);
    runs.Append(KIV_SPARSE_RUN, 5);
    a.SetRuns(runs);
    auto b = RoundTrip(a);
    ExpectCommon(a, *b, true);
    EXPECT_EQ(b->GetUserValue(), 0u);
    EXPECT_EQ(b->GetRecordRef(), 0x0005000000001234ull);
    ASSERT_EQ(b->GetScannerPairs().size(), 2u);
    EXPECT_EQ(b->GetScannerPairs()[1].first, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(b->GetNameLength(), std::string(a.GetName()).size() + 1);
    std::unique_ptr<IDataRunList> list(b->GetDataRunList());
    ASSERT_TRUE(list);
    EXPECT_EQ(list->GetRunCount(), 2u);

    CKivFileAttrNTFS anon;  // name length 0: no name bytes follow
    size_t n = 0;
    auto c = RoundTrip(anon, &n);
    EXPECT_EQ(n, 2u + 8 + 2 + 24 + 1 + 8 + 4 + 8);
    EXPECT_STREQ(c->GetName(), "");
}

TEST(Attrs, NtfsLoadRejectsTruncatedPairs) {
    CKivFileAttrNTFS a;
    a.SetScannerPairs({{1, 2}, {3, 4}});
    CKivMemStream s;
    ASSERT_TRUE(a.Save(&s));
    auto bytes = s.Data();
    bytes.resize(bytes.size() - 8);
    CKivMemStream cut(bytes);
    CKivFileAttrNTFS b;
    EXPECT_FALSE(b.Load(&cut));
}

TEST(Attrs, RawNamesMaskAndRuns) {
    CKivFileAttrRAW a;
    EXPECT_EQ(a.SetName(nullptr), 0);
    EXPECT_STREQ(a.GetName(), "UnkownName");
    EXPECT_EQ(a.GetValidFields(), 463u);
    EXPECT_EQ(a.GetAttrKind(), KIV_ATTR_RAW);

    std::string longName(300, 'x');
    longName[254] = '\xC3';  // a two-byte sequence across the 255-byte limit is dropped whole
    longName[255] = '\xA4';
    EXPECT_EQ(a.SetName(longName.c_str()), 0);
    EXPECT_EQ(std::string(a.GetName()), std::string(254, 'x'));

    a.SetName("FILE001.jpg");
    a.SetTypeText("2009:07:14 10:11:12");
    a.SetSize(1025);
    a.SetAttributes(KIV_FA_ARCHIVE);
    a.SetSectorRun(4096, 1025);  // 3 sectors
    a.SetCheckState(KIV_CHECK_FULL);
    auto b = RoundTrip(a);
    ExpectCommon(a, *b, false);
    EXPECT_STREQ(b->GetTypeText(), "2009:07:14 10:11:12");
    std::unique_ptr<IDataRunList> list(b->GetDataRunList());
    ASSERT_TRUE(list && list->First());
    EXPECT_EQ(list->First()->nStart, 4096u);
    EXPECT_EQ(list->First()->nLength, 3u);

    CKivFileAttrRAW root;  // the carved-files root: folder, no runs, kind value 16
    root.SetName(KIV_NAME_RAW_ROOT);
    root.SetAttributes(KIV_FA_DIRECTORY);
    root.SetKindValue(16);
    root.SetSectorRun(KIV_SPARSE_RUN, 0);
    auto c = RoundTrip(root);
    EXPECT_EQ(c->GetKindValue(), 16);
    std::unique_ptr<IDataRunList> empty(c->GetDataRunList());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->GetRunCount(), 0u);
}

TEST(Attrs, RootRoundTripAndNameLimit) {
    CKivFileAttrRoot a;
    EXPECT_EQ(a.SetName(std::string(300, 'r').c_str()), 0);
    EXPECT_EQ(std::string(a.GetName()).size(), 259u);
    Fill(a);
    a.SetTypeText("disk");
    a.SetValue16(0x1234);
    a.SetValues32(7, 8);
    auto b = RoundTrip(a);
    ExpectCommon(a, *b, false);
    EXPECT_EQ(b->GetCreationTime(), a.GetCreationTime());
    EXPECT_STREQ(b->GetTypeText(), "disk");
    EXPECT_EQ(b->GetValue16(), 0x1234);
    EXPECT_EQ(b->GetValue32(1), 8u);
    EXPECT_EQ(b->GetAttrKind(), KIV_ATTR_ROOT);
    EXPECT_EQ(b->GetDataRunList(), nullptr);
}

TEST(Attrs, LoadRefusesOversizedStoredNames) {
    CKivMemStream s;  // a root name length beyond 259
    uint8_t hdr[2] = {0x00, 0x02};
    s.Write(hdr, 2);
    std::string junk(512, 'a');
    s.Write(junk.data(), 512);
    CKivFileAttrRoot a;
    EXPECT_FALSE(a.Load(&s));
}
