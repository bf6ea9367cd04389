// Second analyser set: formats no Debian tool writes, type refinements and the walks' limits,
// on structures built here from the formats' published layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Analysers/FileMP3Analyser.h"
#include "Analysers/IRawFileAnalyser.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivMemDevStor.h"
#include "Model/KivScanSettings.h"

using namespace std::string_literals;

namespace {

using Bytes = std::vector<uint8_t>;
using Factory = IRawFileAnalyser* (*)();

Bytes Sample(const std::string& name) {
    std::ifstream f(std::string(KIV_TEST_DATA_DIR) + "/analysers/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void Put(Bytes& b, size_t off, const std::string& s) {
    if (b.size() < off + s.size()) b.resize(off + s.size());
    std::copy(s.begin(), s.end(), b.begin() + off);
}
void PutLE(Bytes& b, size_t off, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(b, off + i, std::string(1, char(v >> (8 * i))));
}
void PutBE(Bytes& b, size_t off, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(b, off + i, std::string(1, char(v >> (8 * (n - 1 - i)))));
}
void Append(Bytes& b, const std::string& s) { Put(b, b.size(), s); }
Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::string LE(uint64_t v, size_t n) {
    Bytes b;
    PutLE(b, 0, v, n);
    return std::string(b.begin(), b.end());
}
std::string BE(uint64_t v, size_t n) {
    Bytes b;
    PutBE(b, 0, v, n);
    return std::string(b.begin(), b.end());
}

struct Outcome {
    bool bHeader = false;
    bool bMeasured = false;
    CRawFileInfo info;
    uint64_t Size() const { return info.m_nSize; }
    uint32_t Type() const { return info.m_nTypeId; }
};

// The file at sector 2 of a device, followed by nJunk random bytes (or zeros).
Outcome Analyse(Factory make, const Bytes& file, size_t nJunk = 4096, bool bZeroJunk = false) {
    Bytes dev(1024, 0x5A);
    dev.insert(dev.end(), file.begin(), file.end());
    std::mt19937 rng(7);
    for (size_t i = 0; i < nJunk; ++i) dev.push_back(bZeroJunk ? 0 : uint8_t(rng()));
    dev.resize(std::max<size_t>((dev.size() + 511) / 512 * 512, 1536));
    KivMemDevStor stor(dev);
    std::unique_ptr<IRawFileAnalyser> a(make());
    Outcome o;
    o.info.m_nStartSector = 2;
    o.bHeader = a->CheckHeader(std::span<const uint8_t>(dev.data() + 1024, 512), &o.info);
    if (o.bHeader) o.bMeasured = a->MeasureFile(&o.info, &stor);
    return o;
}

// Sets the scan's size cap for one test.
class CapGuard {
public:
    explicit CapGuard(uint64_t n) : m_nOld(KivScanSettings::Get().nMaxCarvedSize) { KivScanSettings::Get().nMaxCarvedSize = n; }
    ~CapGuard() { KivScanSettings::Get().nMaxCarvedSize = m_nOld; }

private:
    uint64_t m_nOld;
};

// --- Header-sized formats ------------------------------------------------------------------------

TEST(AnalysersBHeader, SizesAndTypesStatedInTheHeader) {
    struct Case {
        Factory make;
        Bytes head;
        uint32_t nType;
        uint64_t nSize;
    };
    auto at = [](std::initializer_list<std::pair<size_t, std::string>> parts) {
        Bytes b(512, 0);
        for (auto& [off, s] : parts) Put(b, off, s);
        return b;
    };
    const std::string oneGuid = "\xE4\x52\x5C\x7B\x8C\xD8\xA7\x4D\xAE\xB1\x53\x78\xD0\x29\x96\xD3";
    const std::vector<Case> cases = {
        {CreateFileLowDocAnalyser, at({{0, "\xDB\xA5\x2D\0"s}, {292, LE(1000, 4)}, {296, LE(30, 2)}}), 21, 1536},
        {CreateFileLowDocAnalyser, at({{0, "\xD0\xCF\x11\xE0"}, {48, LE(3, 4)}}), 21, 4096},
        {CreateFileMNYAnalyser, at({{4, "MSISAM Database"}}), 38, 0x100000},
        {CreateFileONEAnalyser, at({{0, oneGuid}, {196, LE(12345, 4)}}), 45, 12345},
        {CreateFileONEAnalyser, at({{0, oneGuid}, {196, LE(0x40000001, 4)}}), 45, 0x300000},
        {CreateFilePSTAnalyser, at({{0, "!BDN"}, {10, "\x0E"}, {168, LE(777777, 4)}}), 52, 777777},
        {CreateFilePSTAnalyser, at({{0, "!BDN"}, {10, "\x17"}, {184, LE(888888, 4)}}), 52, 888888},
        {CreateFilePSTAnalyser, at({{0, "!BDN"}, {10, "\x15"}}), 52, 0x100000},
        {CreateFileSWFAnalyser, at({{0, "FWS\x0A"}, {4, LE(0x6400000, 4)}}), 74, 0x6400000},
        {CreateFileSWFAnalyser, at({{0, "CWS\x0A"}, {4, LE(5000, 4)}}), 58, 5000},
        {CreateFileWMFAnalyser, at({{0, LE(0x00090001, 4)}, {6, LE(600, 4)}}), 66, 1200},
        {CreateFileWPDAnalyser, at({{0, "\xFFWPC"}, {8, LE(0x01020A01, 4)}, {14, LE(0x00050200, 4)}, {20, LE(4321, 4)}}), 64, 4321},
        {CreateFileWPDAnalyser, at({{0, "\xFFWPC"}, {8, LE(0x00021601, 4)}, {14, LE(0x00030000, 4)}, {20, LE(99, 4)}}), 65, 99},
        {CreateFileWPDAnalyser, at({{0, "\xFFWPC"}, {8, LE(0x00010F0F, 4)}, {14, LE(0x00030000, 4)}, {20, LE(98, 4)}}), 57, 98},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(1000, 4)}, {8, "WAVEfmt "}}), 63, 1008},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(1000, 4)}, {8, "WAVEdata"}}), 55, 1008},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "avi LIST"}}), 8, 18},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "ACONanih"}}), 4, 18},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "CMX1"}, {20, "{Corel Binary Meta File}"}}), 14, 18},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "CMX1"}, {20, "{corel binary meta file}"}}), 55, 18},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "CARCvrsn"}}), 13, 18},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "CSL2vrsn"}}), 17, 18},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "cdr8vrsn"}}), 11, 18},
        {CreateFileRIFFAnalyser, at({{0, "RIFF"}, {4, LE(10, 4)}, {8, "CDR6vrsn"}}), 55, 18},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        CRawFileInfo info;
        std::unique_ptr<IRawFileAnalyser> a(cases[i].make());
        ASSERT_TRUE(a->CheckHeader(cases[i].head, &info)) << "case " << i;
        EXPECT_EQ(info.m_nTypeId, cases[i].nType) << "case " << i;
        EXPECT_EQ(info.m_nSize, cases[i].nSize) << "case " << i;
    }
}

TEST(AnalysersBHeader, RejectsNearMisses) {
    auto refuses = [](Factory make, std::initializer_list<std::pair<size_t, std::string>> parts) {
        Bytes b(512, 0);
        for (auto& [off, s] : parts) Put(b, off, s);
        CRawFileInfo info;
        return !std::unique_ptr<IRawFileAnalyser>(make())->CheckHeader(b, &info);
    };
    EXPECT_TRUE(refuses(CreateFileWPDAnalyser, {{0, "\xFFWPC"}, {8, LE(0x01020A01, 4)}, {14, LE(0x00030000, 4)}, {20, "\x10"}}));
    EXPECT_TRUE(refuses(CreateFileWMFAnalyser, {{0, LE(0x00090001, 4)}, {6, LE(600, 4)}, {16, "\x01"}}));
    EXPECT_TRUE(refuses(CreateFileMIDAnalyser, {{0, "MThd\0\0\0\x06\0\x03"s}, {10, BE(1, 2)}}));
    EXPECT_TRUE(refuses(CreateFileMIDAnalyser, {{0, "MThd\0\0\0\x06\0\x01"s}}));
    EXPECT_TRUE(refuses(CreateFileMP3Analyser, {{0, "ID3\x02"}}));
    EXPECT_TRUE(refuses(CreateFileMP4Analyser, {{0, "\0\0\0\x18" "ftypqt  "s}}));
    EXPECT_TRUE(refuses(CreateFileRARAnalyser, {{0, "Rar!\x1A\x07\x01\x00"s}}));  // the newer format
    EXPECT_TRUE(refuses(CreateFileTIFAnalyser, {{0, "MM\x2A\0"s}}));
    // A font directory mostly of unknown tags.
    EXPECT_TRUE(refuses(CreateFileTTFAnalyser, {{0, "\0\x01\0\0\0\x03"s}, {12, "abcd"}, {28, "efgh"}, {44, "glyf"}}));
    EXPECT_FALSE(refuses(CreateFileTTFAnalyser, {{0, "\0\x01\0\0\0\x02"s}, {12, "abcd"}, {28, "glyf"}}));
}

// --- Walks ---------------------------------------------------------------------------------------

TEST(AnalysersBWalk, MidiTracks) {
    Bytes f;
    Put(f, 0, "MThd\0\0\0\x06"s + BE(1, 2) + BE(2, 2) + BE(96, 2));
    for (int i = 0; i < 2; ++i) Append(f, "MTrk" + BE(4, 4) + "\0\xFF\x2F\0"s);
    Outcome o = Analyse(CreateFileMIDAnalyser, f);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 36u);
    EXPECT_EQ(o.Size(), f.size());
}

TEST(AnalysersBWalk, MovieAtomsAndMediaBoxes) {
    auto box = [](const std::string& type, size_t nData) { return BE(8 + nData, 4) + type + std::string(nData, '\x11'); };
    Bytes mov;
    Append(mov, BE(20, 4) + "ftypqt  " + BE(0, 4) + "qt  ");
    Append(mov, box("wide", 0) + box("mdat", 100) + box("moov", 50));
    Outcome o = Analyse(CreateFileMOVAnalyser, mov);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 40u);
    EXPECT_EQ(o.Size(), mov.size());

    Bytes mp4;
    Append(mp4, BE(24, 4) + "ftypisom" + BE(512, 4) + "isomiso2");
    Append(mp4, box("free", 8) + box("mdat", 300) + box("moov", 60));
    for (Factory make : {CreateFileMP4Analyser, CreateFileMOVAnalyser}) {
        o = Analyse(make, mp4);
        ASSERT_TRUE(o.bMeasured);
        EXPECT_EQ(o.Size(), mp4.size());
    }
    EXPECT_EQ(Analyse(CreateFileMP4Analyser, mp4).Type(), 42u);

    // A box of size zero ("to the end of the file") or of an unknown kind ends the walk there.
    Bytes cut = mp4;
    PutBE(cut, 40, 0, 4);
    EXPECT_EQ(Analyse(CreateFileMP4Analyser, cut).Size(), 40u);
}

TEST(AnalysersBWalk, DatabasePages) {
    Bytes f(5 * 4096, 0);
    Put(f, 0, "\0\x01\0\0Standard Jet DB"s);
    for (int p = 1; p < 4; ++p) f[p * 4096] = 1;
    Outcome o = Analyse(CreateFileMDBAnalyser, f);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 37u);
    EXPECT_EQ(o.Size(), 4u * 4096);
    Put(f, 0, "\0\x01\0\0Standard ACE DB"s);
    EXPECT_EQ(Analyse(CreateFileMDBAnalyser, f).Type(), 72u);
}

TEST(AnalysersBWalk, LzhMembers) {
    auto member = [](const std::string& name, size_t nData) {
        std::string h = "-lh0-" + LE(nData, 4) + LE(nData, 4) + LE(0, 4) + "\x20" + "\0"s + char(name.size()) + name + LE(0, 2);
        return std::string(1, char(h.size())) + "\0"s + h + std::string(nData, 'd');
    };
    Bytes f;
    Append(f, member("a.txt", 40) + member("b.txt", 300) + "\0"s);
    Outcome o = Analyse(CreateFileLZHAnalyser, f);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 34u);
    EXPECT_EQ(o.Size(), f.size());
}

TEST(AnalysersBWalk, PaintShopBlocks) {
    Bytes f;
    Put(f, 0, "Paint Shop Pro Image File\n\x1A\0\0\0\0\0"s + LE(5, 2) + LE(0, 2));
    for (int i = 0; i < 2; ++i) Append(f, "~BK\0"s + LE(i, 2) + LE(300, 4) + std::string(300, 'p'));
    Outcome o = Analyse(CreateFilePSPAnalyser, f);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Size(), f.size());
    f.resize(36 + 310);  // one block: shorter than a sector, not a real image
    EXPECT_FALSE(Analyse(CreateFilePSPAnalyser, f).bMeasured);
}

TEST(AnalysersBWalk, RarBlocks) {
    Bytes f;
    Put(f, 0, "Rar!\x1A\x07\0"s);
    Append(f, LE(0, 2) + "\x73" + LE(0, 2) + LE(13, 2) + std::string(6, '\0'));
    std::string name = "photo.jpg";
    std::string file = LE(0, 2) + "\x74" + LE(0x8000, 2) + LE(32 + name.size(), 2) + LE(700, 4) + LE(900, 4) + "\x02" +
                       LE(0, 4) + LE(0, 4) + "\x14\x30" + LE(name.size(), 2) + LE(0x20, 4) + name;
    Append(f, file + std::string(700, 'z'));
    Append(f, "\xC4\x3D\x7B\x00\x40\x07\x00"s);
    Outcome o = Analyse(CreateFileRARAnalyser, f);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 54u);
    EXPECT_EQ(o.Size(), f.size());

    Bytes bad = f;
    bad[7 + 2] = 0x55;  // first block of an unknown kind
    EXPECT_FALSE(Analyse(CreateFileRARAnalyser, bad).bMeasured);
}

TEST(AnalysersBWalk, PngChainEndsWithImageDataOrFails) {
    Bytes png = Sample("b_image.png");
    ASSERT_GT(png.size(), 60u);
    // Cut the chain after the data chunk: the image ends where the chain broke.
    size_t nIend = png.size() - 12;
    Bytes broken(png.begin(), png.begin() + nIend);
    Append(broken, BE(0x2000000, 4) + "zzzz");
    Outcome o = Analyse(CreateFilePNGAnalyser, broken);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Size(), nIend);
    EXPECT_EQ(o.info.m_nDamage, kCarveEndNotFound);
    // Without a data chunk there is no image.
    Bytes header(png.begin(), png.begin() + 33);
    Append(header, BE(0x2000000, 4) + "IDAT");
    EXPECT_FALSE(Analyse(CreateFilePNGAnalyser, header).bMeasured);
}

TEST(AnalysersBWalk, PdfEndsAfterTheLastRevision) {
    Bytes pdf;
    Append(pdf, "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n%%EOF\n2 0 obj\n<<>>\nendobj\n%%EOF\r\n");
    Outcome o = Analyse(CreateFilePDFAnalyser, pdf, 4096, true);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 46u);
    EXPECT_EQ(o.Size(), pdf.size());

    Bytes ai;
    Append(ai, "%PDF-1.5\n%!PS-Adobe-3.0\n%%Creator: drawing\n%%EOF\r\n");
    o = Analyse(CreateFilePDFAnalyser, ai, 4096, true);
    EXPECT_EQ(o.Type(), 5u);
    EXPECT_EQ(o.Size(), ai.size());

    // A new document begins before any end marker.
    Bytes two;
    Append(two, "%PDF-1.4\nabc\n%PDF-1.5\ndef\n");
    EXPECT_EQ(Analyse(CreateFilePDFAnalyser, two, 4096, true).Size(), 13u);
}

TEST(AnalysersBWalk, RtfCutByBinaryBeforeTheClosingBraceIsDamaged) {
    Bytes f;
    Append(f, "{\\rtf1 {\\b bold} \\\\ back\\}slash");
    Outcome o = Analyse(CreateFileRTFAnalyser, f, 100, true);
    EXPECT_TRUE(o.bHeader);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Size(), f.size());
    EXPECT_EQ(o.info.m_nDamage, kCarveEndNotFound);
    Append(f, "}");
    EXPECT_EQ(Analyse(CreateFileRTFAnalyser, f, 100, true).Size(), f.size());
}

TEST(AnalysersBWalk, TarWithoutEndBlocksAndBrokenFirstHeader) {
    Bytes tar = Sample("b_tree.tar");
    ASSERT_EQ(tar.size(), 10240u);
    // Members first, then zero blocks: cut off the end blocks and follow with junk.
    size_t nEnd = tar.size();
    while (nEnd >= 512 && std::all_of(tar.begin() + nEnd - 512, tar.begin() + nEnd, [](uint8_t c) { return c == 0; }))
        nEnd -= 512;
    Bytes members(tar.begin(), tar.begin() + nEnd);
    Outcome o = Analyse(CreateFileTARAnalyser, members);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Size(), nEnd);

    Bytes bad = tar;
    Put(bad, 124, "99999999x99");
    EXPECT_FALSE(Analyse(CreateFileTARAnalyser, bad).bMeasured);
}

TEST(AnalysersBWalk, CapBoundsEveryWalk) {
    CapGuard cap(3000);
    Bytes pdf;
    Append(pdf, "%PDF-1.4\n" + std::string(10000, 'x'));
    EXPECT_EQ(Analyse(CreateFilePDFAnalyser, pdf, 4096, true).Size(), 3000u);
    Bytes mdb(5 * 4096, 1);
    Put(mdb, 0, "\0\x01\0\0Standard Jet DB"s);
    EXPECT_LE(Analyse(CreateFileMDBAnalyser, mdb).Size(), 3000u);
    Bytes zip = Sample("b_plain.zip");
    EXPECT_LE(Analyse(CreateFileZIPAnalyser, zip).Size(), 3000u);
}

// --- ZIP refinement ------------------------------------------------------------------------------

Bytes StoredZip(const std::vector<std::string>& names) {
    Bytes z;
    std::string central;
    for (const auto& n : names) {
        uint32_t off = uint32_t(z.size());
        Append(z, "PK\x03\x04"s + LE(10, 2) + LE(0, 2) + LE(0, 2) + LE(0, 4) + LE(0, 4) + LE(3, 4) + LE(3, 4) +
                      LE(n.size(), 2) + LE(0, 2) + n + "abc");
        central += "PK\x01\x02"s + LE(20, 2) + LE(10, 2) + LE(0, 2) + LE(0, 2) + LE(0, 4) + LE(0, 4) + LE(3, 4) + LE(3, 4) +
                   LE(n.size(), 2) + LE(0, 2) + LE(0, 2) + LE(0, 2) + LE(0, 2) + LE(0, 4) + LE(off, 4) + n;
    }
    uint32_t nDir = uint32_t(z.size());
    Append(z, central);
    Append(z, "PK\x05\x06"s + LE(0, 4) + LE(names.size(), 2) + LE(names.size(), 2) + LE(central.size(), 4) + LE(nDir, 4) +
                  LE(5, 2) + "hello");
    return z;
}

TEST(AnalysersBZip, FirstEntryDecidesTheFamily) {
    Outcome o = Analyse(CreateFileZIPAnalyser, StoredZip({"content/riffData.cdr", "content/data.bin"}));
    EXPECT_EQ(o.Type(), 11u);
    o = Analyse(CreateFileZIPAnalyser, StoredZip({"[Content_Types].xml", "content/riffData.cdr"}));
    EXPECT_EQ(o.Type(), 68u);
    Bytes x = StoredZip({"[Content_Types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels"});
    o = Analyse(CreateFileZIPAnalyser, x);
    EXPECT_EQ(o.Type(), 70u);
    EXPECT_EQ(o.Size(), x.size());
    // The end record closes the archive even when another archive follows right away.
    Bytes two = Cat(StoredZip({"a"}), StoredZip({"b"}));
    EXPECT_EQ(Analyse(CreateFileZIPAnalyser, two).Size(), StoredZip({"a"}).size());
}

// --- Compound files ------------------------------------------------------------------------------

// Renames directory entry i of a compound file (sector size 512).
void SetEntryName(Bytes& ole, size_t i, const std::u16string& name) {
    uint32_t nDir = uint32_t(ole[0x30]) | ole[0x31] << 8 | ole[0x32] << 16 | ole[0x33] << 24;
    size_t off = (nDir + 1) * 512 + 128 * i;
    for (size_t k = 0; k < 32; ++k) PutLE(ole, off + 2 * k, k < name.size() ? name[k] : 0, 2);
    PutLE(ole, off + 64, 2 * (name.size() + 1), 2);
}

TEST(AnalysersBOle, EntryNamesRefineTheType) {
    const Bytes base = Sample("b_word.doc");
    ASSERT_GT(base.size(), 2048u);
    struct Case {
        std::vector<std::u16string> names;  // entries 1, 2, 3
        uint32_t nType;
    };
    const std::vector<Case> cases = {
        {{u"Scene", u"x", u"y"}, 35},
        {{u"PP40", u"x", u"y"}, 48},
        {{u"Book", u"x", u"y"}, 67},
        {{u"x", u"y", u"PowerPoint Document"}, 48},
        {{u"Objects", u"Quill", u"Escher"}, 49},
        {{u"NativeContent_MAIN", u"x", u"y"}, 53},
        {{u"\x01" u"CompObj", u"   112", u"   212"}, 43},
        {{u"\x01" u"CompObj", u"   19", u"   29"}, 43},
        {{u"\x01" u"CompObj", u"   19", u"   212"}, 39},
        {{u"PropData", u"Forms", u"Reports"}, 3},
        {{u"PerfectOffice_MAIN", u"PerfectOffice_OBJECTS", u"\x05SummaryInformation"}, 57},
        {{u"PerfectOffice_MAIN", u"PerfectOffice_OBJECTS", u"x"}, 65},
        {{u"ObjectPool", u"x", u"y"}, 21},
    };
    for (const auto& c : cases) {
        Bytes ole = base;
        for (size_t i = 0; i < 3; ++i) SetEntryName(ole, i + 1, c.names[i]);
        Outcome o = Analyse(CreateFileOLEAnalyser, ole);
        ASSERT_TRUE(o.bMeasured);
        EXPECT_EQ(o.Type(), c.nType) << std::string(c.names[0].begin(), c.names[0].end());
        EXPECT_EQ(o.Size(), ole.size());
    }
    // A class identifier on the root tells the other WordPerfect kind.
    Bytes wp = base;
    SetEntryName(wp, 1, u"PerfectOffice_MAIN");
    SetEntryName(wp, 2, u"PerfectOffice_OBJECTS");
    uint32_t nDir = wp[0x30];
    wp[(nDir + 1) * 512 + 80] = 0x42;
    EXPECT_EQ(Analyse(CreateFileOLEAnalyser, wp).Type(), 64u);
}

TEST(AnalysersBOle, UnreadableDirectoryAndCyclicTables) {
    Bytes ole = Sample("b_word.doc");
    PutLE(ole, 0x30, 0x00FFFFF0, 4);  // directory far past the device
    Outcome o = Analyse(CreateFileOLEAnalyser, ole);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 39u);
    EXPECT_EQ(o.Size(), ole.size());

    // An extension chain that points back at itself ends instead of looping.
    Bytes cyc = Sample("b_word.doc");
    Bytes ext(512, 0xFF);
    PutLE(ext, 508, 1, 4);
    cyc.insert(cyc.begin() + 1024, ext.begin(), ext.end());  // sector 1, shifting the rest
    PutLE(cyc, 0x44, 1, 4);
    Analyse(CreateFileOLEAnalyser, cyc);  // terminates; the measurement itself may fail
}

// --- MP3 -----------------------------------------------------------------------------------------

TEST(AnalysersBMp3, FrameHeaders) {
    auto len = [](uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        const uint8_t h[4] = {a, b, c, d};
        return FileMP3Analyser::FrameLength(h);
    };
    EXPECT_EQ(len(0xFF, 0xFB, 0x90, 0x00), 417u);  // MPEG-1 layer III 128 kbit/s 44.1 kHz
    EXPECT_EQ(len(0xFF, 0xFB, 0x92, 0x00), 418u);  // padded
    EXPECT_EQ(len(0xFF, 0xF3, 0x80, 0x00), 208u);  // MPEG-2 layer III 64 kbit/s 22.05 kHz
    EXPECT_EQ(len(0xFF, 0xFF, 0x90, 0x00), 312u);  // MPEG-1 layer I 288 kbit/s 44.1 kHz
    EXPECT_EQ(len(0xFF, 0xFD, 0xB0, 0x00), 731u);  // layer II 224 kbit/s stereo
    EXPECT_EQ(len(0xFF, 0xFD, 0xB0, 0xC0), 0u);    // layer II 224 kbit/s mono is forbidden
    EXPECT_EQ(len(0xFF, 0xFD, 0x10, 0x00), 0u);    // layer II 32 kbit/s stereo is forbidden
    EXPECT_EQ(len(0xFF, 0xFB, 0x90, 0x02), 0u);    // reserved emphasis
    EXPECT_EQ(len(0xFF, 0xEB, 0x90, 0x00), 0u);    // reserved version
    EXPECT_EQ(len(0xFF, 0xF9, 0x90, 0x00), 0u);    // reserved layer
    EXPECT_EQ(len(0xFF, 0xFB, 0x0C, 0x00), 0u);    // free bitrate, reserved sample rate
}

Bytes Id3(const std::vector<std::pair<std::string, std::string>>& frames) {
    std::string body;
    for (const auto& [id, data] : frames) body += id + BE(data.size(), 4) + "\0\0"s + data;
    uint32_t n = uint32_t(body.size());
    std::string size = {char(n >> 21 & 0x7F), char(n >> 14 & 0x7F), char(n >> 7 & 0x7F), char(n & 0x7F)};
    Bytes b;
    Append(b, "ID3\x03\0\0"s + size + body);
    return b;
}

TEST(AnalysersBMp3, TagTextsAndAudio) {
    Bytes f = Id3({{"TIT2", "\x01\xFF\xFE" "\xC9\0t\0\xE9\0"s}, {"TPE1", "\0Band"s}, {"TYER", "\0" "1999"s}});
    size_t nTag = f.size();
    std::string frame = "\xFF\xFB\x90\x00"s + std::string(413, '\0');
    for (int i = 0; i < 5; ++i) Append(f, frame);
    Outcome o = Analyse(CreateFileMP3Analyser, f, 100000);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Size(), nTag + 5 * 417);
    EXPECT_EQ(o.info.m_strTitle, "\xC3\x89t\xC3\xA9");
    EXPECT_EQ(o.info.m_strDetail, "1999");

    // 70,000 bytes without a frame after the tag: no song.
    Bytes silent = Id3({{"TIT2", "\0x"s}});
    silent.resize(silent.size() + 70000, 0);
    for (int i = 0; i < 5; ++i) Append(silent, frame);
    EXPECT_FALSE(Analyse(CreateFileMP3Analyser, silent).bMeasured);

    // Bad syncsafe size.
    Bytes bad = f;
    bad[7] = 0x80;
    EXPECT_FALSE(Analyse(CreateFileMP3Analyser, bad).bMeasured);
}

// --- TIFF and camera raw -------------------------------------------------------------------------

Bytes Tiff(const std::string& model, uint32_t nNextIfd = 0) {
    Bytes f;
    Append(f, "II\x2A\0"s + LE(8, 4));
    const std::string make = "NIKON CORPORATION"s + '\0', mdl = model + '\0';
    const uint32_t nEntries = 4, nValues = 8 + 2 + 12 * nEntries + 4;
    const uint32_t nStrip = 4096;
    Append(f, LE(nEntries, 2));
    Append(f, LE(271, 2) + LE(2, 2) + LE(make.size(), 4) + LE(nValues, 4));
    Append(f, LE(272, 2) + LE(2, 2) + LE(mdl.size(), 4) + LE(nValues + make.size(), 4));
    Append(f, LE(273, 2) + LE(4, 2) + LE(1, 4) + LE(nStrip, 4));
    Append(f, LE(279, 2) + LE(4, 2) + LE(1, 4) + LE(1500, 4));
    Append(f, LE(nNextIfd, 4) + make + mdl);
    f.resize(nStrip, 0);
    f.resize(nStrip + 1500, 0x77);
    return f;
}

TEST(AnalysersBTif, CameraModelMakesRawFiles) {
    Bytes nef = Tiff("NIKON D70");
    Outcome o = Analyse(CreateFileTIFAnalyser, nef);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Type(), 73u);
    EXPECT_EQ(o.info.m_strTitle, "NIKON D70");
    EXPECT_EQ(o.Size(), nef.size());

    o = Analyse(CreateFileTIFAnalyser, Tiff("Scanner 9"));
    EXPECT_EQ(o.Type(), 60u);
    EXPECT_EQ(o.info.m_strTitle, "");

    // The next-directory link pointing back at the directory ends the walk.
    Bytes cyc = Tiff("NIKON D1", 8);
    o = Analyse(CreateFileTIFAnalyser, cyc);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.Size(), cyc.size());
}

TEST(AnalysersBTif, MakerMustBeReadable) {
    Bytes f = Tiff("NIKON D70");
    PutLE(f, 8 + 2 + 8, 0x7FFFFFF0, 4);  // maker text far past the device
    EXPECT_FALSE(Analyse(CreateFileTIFAnalyser, f).bMeasured);
}

}  // namespace
