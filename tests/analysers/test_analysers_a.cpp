// First analyser set on files made by real tools (scripts/make-analyser-files-a), the analyser
// table and registry, and the first-byte dispatch against asking every analyser in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <stdexcept>

#include "AnalyserTestKit.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivAnalyserTable.h"

using namespace kit;

namespace {

struct SampleCase {
    const char* pszFile;
    Factory make;
    uint32_t nType;
    const char* pszTitle = "";
    const char* pszDetail = "";
};

void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.pszFile; }

class FirstSetSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(FirstSetSamples, RecognisedAndMeasuredToItsLengthBeforeJunk) {
    const SampleCase& c = GetParam();
    Bytes file = Sample(c.pszFile);
    ASSERT_FALSE(file.empty()) << "missing sample; run scripts/make-analyser-files-a";
    Outcome o = Analyse(c.make, file);
    ASSERT_TRUE(o.bHeader);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.info.m_nTypeId, c.nType);
    EXPECT_EQ(o.info.m_nSize, file.size());
    EXPECT_EQ(o.info.m_strTitle, c.pszTitle);
    EXPECT_EQ(o.info.m_strDetail, c.pszDetail);
}

TEST_P(FirstSetSamples, FileCutShortAtTheDeviceEndIsNeverMeasuredPastIt) {
    const SampleCase& c = GetParam();
    Bytes file = Sample(c.pszFile);
    ASSERT_FALSE(file.empty());
    file.resize(file.size() * 2 / 3);
    if (file.size() < 512) file.resize(512, 0);  // keep a whole first sector
    Outcome o = Analyse(c.make, file, 0);
    // Sizes stated by headers may exceed the data; measured ones may not.
    if (o.bMeasured && c.make != CreateFileAUAnalyser &&
        c.make != CreateFileBMPAnalyser && c.make != CreateFileCABAnalyser && c.make != CreateFileICOAnalyser) {
        EXPECT_LE(o.info.m_nSize, file.size() + 512);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, FirstSetSamples,
    ::testing::Values(SampleCase{"a_jfif.jpg", CreateFileJPGAnalyser, 33},
                      SampleCase{"a_progressive.jpg", CreateFileJPGAnalyser, 33},
                      SampleCase{"a_exif.jpg", CreateFileJPGAnalyser, 33, "PowerCam X100", "2021:05:06 07:08:09"},
                      SampleCase{"a_exif_lt.jpg", CreateFileJPGAnalyser, 33, "Acme Optics", "2020:01:02 03:04:05"},
                      SampleCase{"a_image87.gif", CreateFileGIFAnalyser, 28},
                      SampleCase{"a_anim.gif", CreateFileGIFAnalyser, 28},
                      SampleCase{"a_image.bmp", CreateFileBMPAnalyser, 9},
                      SampleCase{"a_icon.ico", CreateFileICOAnalyser, 32},
                      SampleCase{"a_tone.au", CreateFileAUAnalyser, 7},
                      SampleCase{"a_files.cab", CreateFileCABAnalyser, 10},
                      SampleCase{"a_page.htm", CreateFileHTMAnalyser, 31},
                      SampleCase{"a_doctype.htm", CreateFileHTMAnalyser, 31},
                      SampleCase{"a_page16.htm", CreateFileUnicodeHTMAnalyser, 31},
                      SampleCase{"a_drawing.dxf", CreateFileDXFAnalyser, 23}));

// Inflated to its end: never to the size cap (which once made every gzip file 50 MB long).
TEST(FirstSetSamples, GzipEndsWithItsTrailer) {
    Bytes gz = Sample("a_numbers.gz");
    Outcome o = Analyse(CreateFileGZAnalyser, gz);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.info.m_nTypeId, 29u);
    EXPECT_EQ(o.info.m_nSize, gz.size());
    EXPECT_EQ(o.info.m_nDamage, kCarveWhole);
}

TEST(FirstSetSamples, JpegTextsAreEmptiedForTheNextFile) {
    std::unique_ptr<IRawFileAnalyser> a(CreateFileJPGAnalyser());
    for (const char* name : {"a_exif.jpg", "a_jfif.jpg"}) {
        Placed p = Place(Sample(name));
        CRawFileInfo info;
        info.m_nStartSector = p.nStart;
        ASSERT_TRUE(a->CheckHeader(p.FirstSector(), &info));
        ASSERT_TRUE(a->MeasureFile(&info, p.pStor.get()));
    }
    EXPECT_EQ(a->GetTitleText(), "");
    EXPECT_EQ(a->GetDetailText(), "");
}

// --- Table and registry ------------------------------------------------------------------------

std::vector<int32_t> IdsOf(std::span<const KivAnalyserFactory> makers) {
    std::vector<int32_t> ids;
    for (auto make : makers) {
        std::unique_ptr<IRawFileAnalyser> a(make());
        ids.push_back(a ? a->GetId() : -1);
    }
    return ids;
}

TEST(AnalyserTable, TypeRowsListTheirAnalysersInOrder) {
    EXPECT_EQ(IdsOf(KivAnalysersOfType(21)), (std::vector<int32_t>{44, 21}));  // DOC: OLE, LowDoc
    EXPECT_EQ(IdsOf(KivAnalysersOfType(57)), (std::vector<int32_t>{44, 64}));  // SHW: OLE, WPD
    EXPECT_EQ(IdsOf(KivAnalysersOfType(31)), (std::vector<int32_t>{31, 31}));  // HTM, UnicodeHTM
    EXPECT_EQ(IdsOf(KivAnalysersOfType(18)), (std::vector<int32_t>{32}));      // CUR: ICO
    EXPECT_EQ(IdsOf(KivAnalysersOfType(73)), (std::vector<int32_t>{60}));      // NEF: TIF
    for (uint32_t id : {0u, 20u, 26u}) EXPECT_TRUE(KivAnalysersOfType(id).empty()) << id;
    EXPECT_EQ(KivAnalysersOfType(74).size(), 1u);
    EXPECT_EQ(KivAnalysersOfType(74).data(), KivAnalysersOfType(1500).data());
}

TEST(AnalyserTable, RegistryStartsWithEveryAnalyserByClassName) {
    RawAnalyserRegistry reg;
    ASSERT_GE(reg.Size(), 57u);
    // The first 47 analysers (ids up to 73) keep their order among the later ones (ids from 75).
    std::vector<int32_t> ids;
    for (size_t i = 0; i < reg.Size(); ++i)
        if (reg.At(i)->GetId() >= 0 && reg.At(i)->GetId() < 75) ids.push_back(reg.At(i)->GetId());
    ASSERT_EQ(ids.size(), 47u);
    // File3DS, File3GP, FileASF ... FileLZH before FileLowDoc, FileUnicodeHTM after FileTTF.
    EXPECT_EQ(std::vector<int32_t>(ids.begin(), ids.begin() + 4), (std::vector<int32_t>{1, 2, 6, 7}));
    EXPECT_EQ(ids[21], 34);
    EXPECT_EQ(ids[22], 21);
    EXPECT_EQ(std::vector<int32_t>(ids.end() - 5, ids.end()), (std::vector<int32_t>{61, 31, 66, 64, 68}));
}

TEST(AnalyserTable, RebuildKeepsRepeatedClassesAndFindsById) {
    RawAnalyserRegistry reg;
    std::vector<uint32_t> sel = {21, 67, 48, 31};
    reg.Rebuild(sel);
    std::vector<int32_t> ids;
    for (auto* a : reg.Items()) ids.push_back(a->GetId());
    EXPECT_EQ(ids, (std::vector<int32_t>{44, 21, 44, 44, 31, 31}));
    EXPECT_EQ(reg.FindById(31), reg.At(4));
    EXPECT_EQ(reg.FindById(0x10000 + 21), reg.At(1));  // compared as 16-bit values
    EXPECT_EQ(reg.FindById(33), nullptr);
    reg.Clear();
    EXPECT_EQ(reg.Size(), 0u);
    EXPECT_EQ(reg.Dispatch().Find(Junk(512, 1), nullptr), nullptr);
}

// --- Dispatch ----------------------------------------------------------------------------------

std::vector<uint32_t> DefaultSelection() { return KivScanSettings().selectedTypeIds; }

void ExpectSameWinner(const KivAnalyserDispatch& d, std::span<const uint8_t> sector, const std::string& what) {
    CRawFileInfo a, b;
    IRawFileAnalyser* pFast = d.Find(sector, &a);
    IRawFileAnalyser* pRef = d.FindInOrder(sector, &b);
    // Instances of one class are interchangeable; the winner's class and answer must agree.
    ASSERT_EQ(pFast == nullptr, pRef == nullptr) << what;
    if (!pFast) return;
    EXPECT_EQ(typeid(*pFast), typeid(*pRef)) << what;
    EXPECT_EQ(a.m_nTypeId, b.m_nTypeId) << what;
    EXPECT_EQ(a.m_nSize, b.m_nSize) << what;
}

TEST(AnalyserDispatch, SameWinnerAsListOrderOnEverySampleAndOnRandomSectors) {
    RawAnalyserRegistry reg;
    reg.Rebuild(DefaultSelection());
    const KivAnalyserDispatch& d = reg.Dispatch();
    size_t nFiles = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::string(KIV_TEST_DATA_DIR) + "/analysers")) {
        Bytes file = Sample(e.path().filename().string());
        file.resize(std::max<size_t>(file.size(), 512));
        std::span<const uint8_t> first(file.data(), 512);
        ExpectSameWinner(d, first, e.path().filename().string());
        CRawFileInfo info;
        EXPECT_NE(d.Find(first, &info), nullptr) << e.path().filename() << " is not recognised by any analyser";
        // Each header byte broken in turn.
        for (size_t i = 0; i < 64; ++i) {
            Bytes s(first.begin(), first.end());
            s[i] ^= 0x5A;
            ExpectSameWinner(d, s, e.path().filename().string() + " byte " + std::to_string(i));
        }
        ++nFiles;
    }
    EXPECT_GE(nFiles, 14u);
    for (uint32_t seed = 0; seed < 5000; ++seed) {
        Bytes s = Junk(512, seed);
        s[0] = static_cast<uint8_t>(seed);  // every first byte
        ExpectSameWinner(d, s, "random " + std::to_string(seed));
    }
}

// Analysers that misbehave: one leaves a size behind when refusing, one throws.
class LeavesSize : public IRawFileAnalyser {
public:
    LeavesSize() : IRawFileAnalyser(900) {}
    bool CheckHeader(std::span<const uint8_t>, CRawFileInfo* p) override {
        p->m_nSize = 12345;
        p->m_nTypeId = 900;
        return false;
    }
};
class Throws : public IRawFileAnalyser {
public:
    Throws() : IRawFileAnalyser(901) {}
    bool CheckHeader(std::span<const uint8_t>, CRawFileInfo*) override { throw std::runtime_error("bad"); }
};
class TakesX : public IRawFileAnalyser {
public:
    TakesX() : IRawFileAnalyser(902) {}
    bool CheckHeader(std::span<const uint8_t> s, CRawFileInfo* p) override {
        if (s[0] != 'X') return false;
        p->m_nTypeId = 902;
        return true;
    }
    std::string_view FirstBytes() const override { return "X"; }
};

TEST(AnalyserDispatch, RefusalsLeaveNothingBehindAndThrowingCountsAsRefusal) {
    LeavesSize a;
    Throws b;
    TakesX c;
    IRawFileAnalyser* list[] = {&a, &b, &c};
    KivAnalyserDispatch d;
    d.Build(list);
    Bytes s(512, 'X');
    CRawFileInfo info;
    EXPECT_EQ(d.Find(s, &info), &c);
    EXPECT_EQ(info.m_nSize, 0u);
    EXPECT_EQ(info.m_nTypeId, 902u);
    s[0] = 'Y';
    EXPECT_EQ(d.Find(s, &info), nullptr);
    EXPECT_EQ(d.FindInOrder(s, &info), nullptr);
}

}  // namespace
