// Third analyser set: the formats of today's phones, cameras and desktops (samples made by real
// tools, scripts/make-analyser-files-c; camera raws built here after their published layouts),
// and the exact ends of gzip, RTF, HTML, PDF and PNG. Every file is measured between zero, random
// and text gaps; cut and broken files are reported as files whose end was not found.
#include <gtest/gtest.h>

#include <zlib.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "AnalyserTestKit.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivAnalyserTable.h"
#include "Model/RawTypeTable.h"

using namespace kit;

namespace {

enum class Gap { kZeros, kJunk, kText };

// The file at sector 3, then 64 KiB of the gap kind (the rest of its last sector too).
Placed PlaceIn(const Bytes& file, Gap gap, size_t nGap = 65536) {
    Bytes dev = Junk(3 * 512, 11);
    dev.insert(dev.end(), file.begin(), file.end());
    size_t nTail = nGap + (512 - dev.size() % 512) % 512;
    if (gap == Gap::kZeros) {
        dev.resize(dev.size() + nTail, 0);
    } else if (gap == Gap::kJunk) {
        Bytes j = Junk(nTail, 12);
        dev.insert(dev.end(), j.begin(), j.end());
    } else {
        std::string t;
        while (t.size() < nTail) t += "Some words of a lost letter, line " + std::to_string(t.size()) + ".\n";
        dev.insert(dev.end(), t.begin(), t.begin() + nTail);
    }
    return {std::make_unique<KivMemDevStor>(std::move(dev)), 3};
}

struct Result {
    bool bHeader = false, bMeasured = false;
    CRawFileInfo info;
    std::string title;
};

// Offers the first sector to the analysers of the type's row (as the scanner's dispatch does for
// that selection) and measures the file with the one that takes it.
Result Carve(uint32_t nSelected, const Placed& p) {
    std::vector<std::unique_ptr<IRawFileAnalyser>> own;
    std::vector<IRawFileAnalyser*> list;
    for (auto make : KivAnalysersOfType(nSelected)) {
        own.emplace_back(make());
        list.push_back(own.back().get());
    }
    KivAnalyserDispatch d;
    d.Build(list);
    Result r;
    r.info.m_nStartSector = p.nStart;
    IRawFileAnalyser* a = d.Find(p.FirstSector(), &r.info);
    r.bHeader = a != nullptr;
    if (!a) return r;
    r.bMeasured = r.info.m_nSize != 0 || a->MeasureFile(&r.info, p.pStor.get());
    r.title = r.info.m_strTitle.empty() ? a->GetTitleText() : r.info.m_strTitle.str();
    return r;
}

struct SampleCase {
    const char* pszFile;
    uint32_t nType;
    const char* pszTitle;
};
std::ostream& operator<<(std::ostream& os, const SampleCase& c) { return os << c.pszFile; }

class ThirdSetSample : public testing::TestWithParam<SampleCase> {};

TEST_P(ThirdSetSample, MeasuredExactlyWhateverFollows) {
    const SampleCase& c = GetParam();
    Bytes file = Sample(c.pszFile);
    ASSERT_FALSE(file.empty()) << "missing sample; run scripts/make-analyser-files-c";
    for (Gap gap : {Gap::kZeros, Gap::kJunk, Gap::kText}) {
        SCOPED_TRACE(int(gap));
        Result r = Carve(c.nType, PlaceIn(file, gap));
        ASSERT_TRUE(r.bHeader);
        ASSERT_TRUE(r.bMeasured);
        EXPECT_EQ(r.info.m_nTypeId, c.nType);
        EXPECT_EQ(r.info.m_nSize, file.size());
        EXPECT_EQ(r.info.m_nDamage, kCarveWhole);
        EXPECT_EQ(r.title, c.pszTitle);
    }
}

// Cut short: at the end of the medium, or overwritten by random data after two thirds. Never
// longer than the medium and never reported whole. Formats whose header states the size, and
// containers that keep no check of their data (ISO media, Matroska), cannot tell random data
// from their own: they are held to the first case only.
TEST_P(ThirdSetSample, CutFileIsDamagedAndNeverRunsOn) {
    const SampleCase& c = GetParam();
    Bytes file = Sample(c.pszFile);
    ASSERT_FALSE(file.empty());
    const size_t nCut = std::max<size_t>(file.size() * 2 / 3, 512);
    if (nCut >= file.size()) return;  // too small to cut
    Bytes cut(file.begin(), file.begin() + nCut);
    // WebP and SQLite state their size in the header; the tree cuts such a size at the medium's
    // end and reports the file damaged there.
    const bool bStated = c.nType == 83 || c.nType == 87;
    const bool bUnchecked = bStated || (c.nType >= 75 && c.nType <= 79);
    Placed atEnd = PlaceIn(cut, Gap::kZeros, 0);
    Result r = Carve(c.nType, atEnd);
    ASSERT_TRUE(r.bHeader);
    if (r.bMeasured && !bStated) {
        EXPECT_LE(r.info.m_nSize, atEnd.pStor->m_data.size() - 3 * 512);
        if (r.info.m_nSize < file.size()) {
            EXPECT_NE(r.info.m_nDamage, kCarveWhole);
        }
    }

    Result o = Carve(c.nType, PlaceIn(cut, Gap::kJunk, 4 << 20));
    ASSERT_TRUE(o.bHeader);
    if (o.bMeasured && !bUnchecked) {
        EXPECT_NE(o.info.m_nDamage, kCarveWhole);
        EXPECT_LE(o.info.m_nSize, 1200000u + file.size());  // bzip2 keeps a block's worth at most
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ThirdSetSample,
    testing::Values(SampleCase{"c_photo.heic", 75, ""}, SampleCase{"c_photo.avif", 76, ""},
                    SampleCase{"c_clip.mkv", 78, "Garden walk"}, SampleCase{"c_live.mkv", 78, ""},
                    SampleCase{"c_clip.webm", 79, ""}, SampleCase{"c_tone.flac", 80, "Tone"},
                    SampleCase{"c_tone.ogg", 81, ""}, SampleCase{"c_tone.opus", 82, ""},
                    SampleCase{"c_photo.webp", 83, ""}, SampleCase{"c_pillow.webp", 83, ""},
                    SampleCase{"c_files.7z", 84, ""}, SampleCase{"c_numbers.xz", 85, ""},
                    SampleCase{"c_numbers.bz2", 86, ""}, SampleCase{"c_shop.sqlite", 87, ""},
                    SampleCase{"c_letter.odt", 88, ""}, SampleCase{"c_sheet.ods", 89, ""},
                    SampleCase{"c_slides.odp", 90, ""}, SampleCase{"c_drawing.odg", 91, ""},
                    SampleCase{"c_book.epub", 92, ""}, SampleCase{"c_named.gz", 29, "notes.txt"},
                    SampleCase{"c_members.gz", 29, ""}, SampleCase{"c_letter.rtf", 56, ""},
                    SampleCase{"c_page.html", 31, ""}));

// --- Exact ends of the formats carved before ---------------------------------------------------

TEST(ExactEnds, GzipWhoseDataOrTrailerIsBrokenIsDamaged) {
    Bytes gz = Sample("c_members.gz");
    ASSERT_GT(gz.size(), 2000u);
    Bytes bad = gz;
    bad[bad.size() / 4] ^= 0x55;  // in the first member's data
    Result r = Carve(29, PlaceIn(bad, Gap::kJunk));
    ASSERT_TRUE(r.bMeasured);
    EXPECT_EQ(r.info.m_nDamage, kCarveEndNotFound);
    EXPECT_LT(r.info.m_nSize, gz.size() + 65536);
    // A wrong length in the trailer: the member does not end there.
    Bytes named = Sample("c_named.gz");
    named[named.size() - 1] ^= 1;
    r = Carve(29, PlaceIn(named, Gap::kZeros));
    ASSERT_TRUE(r.bMeasured);
    EXPECT_EQ(r.info.m_nDamage, kCarveEndNotFound);
}

TEST(ExactEnds, TextFormatsKeepTheirLineEndAndStopAtTheirEnd) {
    // A PDF followed by text that looks like more of it; one updated in place keeps both parts.
    Bytes pdf;
    Put(pdf, 0, "%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\nstartxref\n9\n%%EOF\n");
    Result r = Carve(46, PlaceIn(pdf, Gap::kText));
    EXPECT_EQ(r.info.m_nSize, pdf.size());
    EXPECT_EQ(r.info.m_nDamage, kCarveWhole);
    Bytes updated = pdf;
    Put(updated, updated.size(), "2 0 obj\n<<>>\nendobj\nxref\n0 1\ntrailer\n<<>>\n%%EOF\r\n");
    r = Carve(46, PlaceIn(updated, Gap::kText));
    EXPECT_EQ(r.info.m_nSize, updated.size());
    // Cut before its marker: it ends after its last whole object, damaged.
    Bytes cut(pdf.begin(), pdf.begin() + 30);
    r = Carve(46, PlaceIn(cut, Gap::kText));
    EXPECT_EQ(r.info.m_nSize, 29u);
    EXPECT_EQ(r.info.m_nDamage, kCarveEndNotFound);

    // An HTML page whose closing tag is missing ends with its text.
    Bytes page;
    Put(page, 0, "<!DOCTYPE html>\n<html><body>cut here");
    r = Carve(31, PlaceIn(page, Gap::kZeros));
    EXPECT_EQ(r.info.m_nSize, page.size());
    EXPECT_EQ(r.info.m_nDamage, kCarveEndNotFound);

    // RTF cut by binary data: up to the first byte that is not text.
    Bytes rtf;
    Put(rtf, 0, "{\\rtf1 {\\b bold} text");
    r = Carve(56, PlaceIn(rtf, Gap::kJunk));
    EXPECT_LE(r.info.m_nSize, rtf.size() + 64);
    EXPECT_EQ(r.info.m_nDamage, kCarveEndNotFound);
}

// A PNG chunk as the format writes it.
void Chunk(Bytes& png, const char* type, const Bytes& data) {
    size_t at = png.size();
    PutBE(png, at, data.size(), 4);
    Put(png, at + 4, std::string_view(type, 4));
    Put(png, at + 8, data.data(), data.size());
    uLong c = crc32(0, png.data() + at + 4, uInt(4 + data.size()));
    PutBE(png, png.size(), c, 4);
}

TEST(ExactEnds, PngLongerThanTwentyMebibytesIsWholeAndABrokenChainIsDamaged) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr(13, 0);
    PutBE(ihdr, 0, 4000, 4);
    PutBE(ihdr, 4, 3000, 4);
    ihdr[8] = 8;
    ihdr[9] = 2;
    Chunk(png, "IHDR", ihdr);
    Bytes data = Junk(1 << 20, 3);
    for (int i = 0; i < 22; ++i) Chunk(png, "IDAT", data);
    Chunk(png, "IEND", {});
    Result r = Carve(47, PlaceIn(png, Gap::kZeros, 4096));
    ASSERT_TRUE(r.bMeasured);
    EXPECT_EQ(r.info.m_nSize, png.size());
    EXPECT_EQ(r.info.m_nDamage, kCarveWhole);

    Bytes broken(png.begin(), png.begin() + 33 + 3 * (12 + data.size()));
    r = Carve(47, PlaceIn(broken, Gap::kJunk, 4096));
    ASSERT_TRUE(r.bMeasured);
    EXPECT_EQ(r.info.m_nSize, broken.size());
    EXPECT_EQ(r.info.m_nDamage, kCarveEndNotFound);
}

// --- Camera raws, built after their published layouts ------------------------------------------

struct RawCase {
    const char* pszName;
    const char* pszMagic;  // 4 bytes
    const char* pszMaker;
    const char* pszModel;
    bool bCanonMark, bDng;
    uint32_t nType;
    const char* pszTitle;
};
std::ostream& operator<<(std::ostream& os, const RawCase& c) { return os << c.pszName; }

// Little-endian TIFF: header, one directory (maker, model, strip, optional DNG version), texts,
// then the strip of sensor data and a preview after it.
Bytes TiffRaw(const RawCase& c) {
    Bytes f;
    Put(f, 0, std::string_view(c.pszMagic, 4));
    PutLE(f, 4, 16, 4);
    if (c.bCanonMark) Put(f, 8, "CR\x02\x00");
    std::vector<std::array<uint32_t, 4>> e;  // tag, type, count, value
    std::string maker = std::string(c.pszMaker) + '\0', model = std::string(c.pszModel) + '\0';
    const uint32_t nEntries = c.bDng ? 7 : 6, nTexts = 16 + 2 + 12 * nEntries + 4;
    const uint32_t nStrip = 1024, nStripLen = 40000, nPreview = nStrip + nStripLen, nPreviewLen = 3000;
    e.push_back({271, 2, uint32_t(maker.size()), nTexts});
    e.push_back({272, 2, uint32_t(model.size()), nTexts + uint32_t(maker.size())});
    e.push_back({273, 4, 1, nStrip});
    e.push_back({279, 4, 1, nStripLen});
    e.push_back({513, 4, 1, nPreview});
    e.push_back({514, 4, 1, nPreviewLen});
    if (c.bDng) e.push_back({50706, 1, 4, 0x00000401});
    PutLE(f, 16, e.size(), 2);
    for (size_t i = 0; i < e.size(); ++i) {
        PutLE(f, 18 + 12 * i, e[i][0], 2);
        PutLE(f, 20 + 12 * i, e[i][1], 2);
        PutLE(f, 22 + 12 * i, e[i][2], 4);
        PutLE(f, 26 + 12 * i, e[i][3], 4);
    }
    PutLE(f, 18 + 12 * e.size(), 0, 4);
    Put(f, nTexts, maker);
    Put(f, nTexts + maker.size(), model);
    Bytes data = Junk(nStripLen + nPreviewLen, 9);
    Put(f, nStrip, data.data(), data.size());
    return f;
}

class CameraRaw : public testing::TestWithParam<RawCase> {};

TEST_P(CameraRaw, TypedAndNamedByMakerAndModelAndEndsWithItsLastPart) {
    const RawCase& c = GetParam();
    Bytes f = TiffRaw(c);
    Result r = Carve(c.nType, PlaceIn(f, Gap::kJunk));
    ASSERT_TRUE(r.bMeasured);
    EXPECT_EQ(r.info.m_nTypeId, c.nType);
    EXPECT_EQ(r.info.m_nSize, f.size());
    EXPECT_EQ(r.title, c.pszTitle);
}

INSTANTIATE_TEST_SUITE_P(
    Raws, CameraRaw,
    testing::Values(RawCase{"CR2", "II*\0", "Canon", "Canon EOS 90D", true, false, 93, "Canon EOS 90D"},
                    RawCase{"NEF", "II*\0", "NIKON CORPORATION", "NIKON D750", false, false, 73, "NIKON D750"},
                    RawCase{"ARW", "II*\0", "SONY", "ILCE-7M3", false, false, 94, "SONY ILCE-7M3"},
                    RawCase{"DNG", "II*\0", "Google", "Pixel 7", false, true, 95, "Google Pixel 7"},
                    RawCase{"ORF", "IIRO", "OLYMPUS IMAGING CORP.  ", "E-M10", false, false, 96, "OLYMPUS IMAGING CORP. E-M10"},
                    RawCase{"RW2", "IIU\0", "Panasonic", "DC-G9", false, false, 97, "Panasonic DC-G9"},
                    RawCase{"PEF", "II*\0", "PENTAX", "PENTAX K-3", false, false, 98, "PENTAX K-3"},
                    RawCase{"TIF", "II*\0", "Acme", "Scanner", false, false, 60, ""}));

TEST(CameraRaw, RafEndsWithItsFurthestPartAndCr3IsNoMovie) {
    Bytes raf;
    Put(raf, 0, "FUJIFILMCCD-RAW 0201FF383501");
    Put(raf, 28, "X-T4");
    const uint32_t parts[3][3] = {{84, 256, 5000}, {92, 5256, 1000}, {100, 6256, 30000}};  // preview, header, data
    for (const auto& p : parts) {
        PutBE(raf, p[0], p[1], 4);
        PutBE(raf, p[0] + 4, p[2], 4);
    }
    Bytes body = Junk(36256 - 256, 4);
    Put(raf, 256, body.data(), body.size());
    Result r = Carve(99, PlaceIn(raf, Gap::kJunk));
    ASSERT_TRUE(r.bMeasured);
    EXPECT_EQ(r.info.m_nSize, raf.size());
    EXPECT_EQ(r.title, "FUJIFILM X-T4");

    // ftyp "crx ", moov, mdat: taken by the raw analyser, refused by the movie one.
    Bytes cr3;
    auto box = [&](const char* type, size_t n) {
        size_t at = cr3.size();
        PutBE(cr3, at, 8 + n, 4);
        Put(cr3, at + 4, std::string_view(type, 4));
        Bytes d = Junk(n, uint32_t(at));
        Put(cr3, at + 8, d.data(), d.size());
    };
    box("ftyp", 16);
    Put(cr3, 8, std::string_view("crx \0\0\0\x01" "crx isom", 16));
    box("moov", 3000);
    box("uuid", 500);
    box("mdat", 60000);
    r = Carve(77, PlaceIn(cr3, Gap::kJunk));
    ASSERT_TRUE(r.bMeasured);
    EXPECT_EQ(r.info.m_nTypeId, 77u);
    EXPECT_EQ(r.info.m_nSize, cr3.size());
    EXPECT_FALSE(Carve(40, PlaceIn(cr3, Gap::kJunk)).bHeader);
    EXPECT_FALSE(Carve(40, PlaceIn(Sample("c_photo.heic"), Gap::kJunk)).bHeader);
}

// Every new type has its row, its analyser and a first byte that admits its files.
TEST(ThirdSetTable, NewTypesHaveRowsAndAnalysers) {
    RawTypeTable& t = RawTypeTable::Get();
    for (uint32_t id = 75; id < RawTypeTable::kFixedCount; ++id) {
        EXPECT_FALSE(t.GetExt(id).empty()) << id;
        EXPECT_FALSE(KivAnalysersOfType(id).empty()) << id;
    }
    EXPECT_EQ(t.GetExt(87), "DB");
    EXPECT_EQ(KivAnalysersOfType(74).size(), 1u);  // the user-defined headers
}

}  // namespace
