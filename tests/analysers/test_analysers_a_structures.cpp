// First analyser set on structures built from the formats' published layouts: formats no Debian
// tool writes, and the corner cases of the walks.
#include <gtest/gtest.h>

#include "AnalyserTestKit.h"
#include "Analysers/CJpegExifReader.h"
#include "Analysers/KivAnalyserFactories.h"

using namespace kit;

namespace {

const uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kAsfIndex[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                               0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

uint64_t SizeOf(Factory make, const Bytes& file, size_t nJunk = 70000) {
    Outcome o = Analyse(make, file, nJunk);
    return o.bHeader && o.bMeasured ? o.info.m_nSize : 0;
}

// --- Sizes stated by the header -------------------------------------------------------------

TEST(FirstSetHeaders, ChunkAndHeaderSizes) {
    Bytes s3ds(600, 0);
    PutLE(s3ds, 0, 0x4D4D, 2);
    PutLE(s3ds, 2, 600, 4);
    PutLE(s3ds, 16, 0x3D3D, 2);
    PutLE(s3ds, 18, 500, 4);
    EXPECT_EQ(SizeOf(CreateFile3DSAnalyser, s3ds), 600u);
    PutLE(s3ds, 18, 601, 4);  // editor chunk longer than the file
    EXPECT_EQ(SizeOf(CreateFile3DSAnalyser, s3ds), 0u);

    Bytes au(512, 0);
    Put(au, 0, ".snd");
    PutBE(au, 4, 24, 4);
    PutBE(au, 8, 1000, 4);
    EXPECT_EQ(SizeOf(CreateFileAUAnalyser, au), 1024u);
    PutBE(au, 8, 0xFFFFFFFF, 4);  // length unknown to the writer
    EXPECT_EQ(SizeOf(CreateFileAUAnalyser, au), 0u);

    Bytes hlp(512, 0);
    PutLE(hlp, 0, 0x00035F3F, 4);
    PutLE(hlp, 4, 700, 4);
    PutLE(hlp, 12, 900, 4);
    EXPECT_EQ(SizeOf(CreateFileHLPAnalyser, hlp), 900u);
    PutLE(hlp, 4, 901, 4);
    EXPECT_EQ(SizeOf(CreateFileHLPAnalyser, hlp), 0u);

    Bytes emf(512, 1);
    Put(emf, 40, " EMF");
    PutLE(emf, 48, 4321, 4);
    PutLE(emf, 58, 0, 2);
    EXPECT_EQ(SizeOf(CreateFileEMFAnalyser, emf), 4321u);
}

TEST(FirstSetHeaders, CompiledHelpAndMailStores) {
    Bytes chm(512, 0);
    const uint8_t guid[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    Put(chm, 0, "ITSF");
    PutLE(chm, 8, 96, 4);
    Put(chm, 24, guid, 16);
    Put(chm, 40, guid, 16);
    chm[40] = 0x11;
    PutLE(chm, 96, 0x1FE, 4);
    PutLE(chm, 104, 123456, 8);
    EXPECT_EQ(SizeOf(CreateFileCHMAnalyser, chm), 123456u);
    chm[40] = 0x10;
    EXPECT_EQ(SizeOf(CreateFileCHMAnalyser, chm), 0u);

    const uint8_t folders[16] = {0xCF, 0xAD, 0x12, 0xFE, 0xC6, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0};
    Bytes dbx(512, 0);
    Put(dbx, 0, folders, 16);
    PutLE(dbx, 124, 77777, 4);
    Outcome o = Analyse(CreateFileDBXAnalyser, dbx);
    EXPECT_TRUE(o.bHeader);
    EXPECT_EQ(o.info.m_nSize, 77777u);
    dbx[4] = 0xC8;
    EXPECT_FALSE(Analyse(CreateFileDBXAnalyser, dbx).bHeader);
    Put(dbx, 0, std::string_view("JMF6\x03\x00\x10\x00", 8));
    EXPECT_EQ(SizeOf(CreateFileDBXAnalyser, dbx), 77777u);
}

Bytes DosEps(uint32_t nPs, uint32_t nPsLen, uint32_t nTiff, uint32_t nTiffLen, std::string_view check) {
    Bytes b(512, 0);
    Put(b, 0, "\xC5\xD0\xD3\xC6");
    PutLE(b, 4, nPs, 4);
    PutLE(b, 8, nPsLen, 4);
    PutLE(b, 20, nTiff, 4);
    PutLE(b, 24, nTiffLen, 4);
    Put(b, 28, check);
    return b;
}

TEST(FirstSetHeaders, EncapsulatedPostScriptEndsWithItsLastPart) {
    using namespace std::literals;
    EXPECT_EQ(SizeOf(CreateFileEPSAnalyser, DosEps(30, 1000, 1030, 500, "\xFF\xFF%!"sv)), 1530u);
    EXPECT_EQ(SizeOf(CreateFileEPSAnalyser, DosEps(32, 1000, 1032, 500, "\xFF\xFF\0\0"sv)), 1532u);
    EXPECT_EQ(SizeOf(CreateFileEPSAnalyser, DosEps(40, 1000, 1040, 500, "\xFF\xFFII"sv)), 1040u);
    // No preview: the PostScript part alone (the preview sum alone would be 0).
    EXPECT_EQ(SizeOf(CreateFileEPSAnalyser, DosEps(30, 2000, 0, 0, "\xFF\xFF%!"sv)), 2030u);
    EXPECT_EQ(SizeOf(CreateFileEPSAnalyser, DosEps(30, 1000, 1030, 500, "\x12\x34%!"sv)), 0u);
}

Bytes IconDir(uint16_t nKind, std::vector<uint32_t> sizes) {
    Bytes b(512, 0);
    PutLE(b, 2, nKind, 2);
    PutLE(b, 4, sizes.size(), 2);
    uint32_t off = 6 + 16 * uint32_t(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        b[6 + 16 * i] = 16;
        b[7 + 16 * i] = 16;
        PutLE(b, 6 + 16 * i + 8, sizes[i], 4);
        PutLE(b, 6 + 16 * i + 12, off, 4);
        off += sizes[i];
    }
    return b;
}

TEST(FirstSetHeaders, IconsAndCursors) {
    Outcome o = Analyse(CreateFileICOAnalyser, IconDir(2, {300, 200}));
    ASSERT_TRUE(o.bHeader);
    EXPECT_EQ(o.info.m_nTypeId, 18u);
    EXPECT_EQ(o.info.m_nSize, 6u + 16 + 300 + 16 + 200);
    EXPECT_FALSE(Analyse(CreateFileICOAnalyser, IconDir(1, {})).bHeader);
    EXPECT_FALSE(Analyse(CreateFileICOAnalyser, IconDir(3, {300})).bHeader);
    EXPECT_FALSE(Analyse(CreateFileICOAnalyser, IconDir(1, {0x100000})).bHeader);  // over 1 MiB in all
    Bytes bad = IconDir(1, {300});
    bad[6 + 3] = 1;  // reserved byte
    EXPECT_FALSE(Analyse(CreateFileICOAnalyser, bad).bHeader);
}

// --- Walks ------------------------------------------------------------------------------------

TEST(FirstSetWalks, StreamingMediaObjects) {
    auto asf = [](bool bIndex, bool bData) {
        Bytes b;
        Put(b, 0, kAsfHeader, 16);
        PutLE(b, 16, 100, 8);
        b.resize(100, 0x11);
        Put(b, 100, kAsfHeader, 16);
        if (bData) b[100] = 0x36;
        PutLE(b, 116, 400, 8);
        b.resize(500, 0x22);
        if (bIndex) {
            Put(b, 500, kAsfIndex, 16);
            PutLE(b, 516, 60, 8);
            b.resize(560, 0x33);
        }
        return b;
    };
    EXPECT_EQ(SizeOf(CreateFileASFAnalyser, asf(true, true)), 560u);
    EXPECT_EQ(SizeOf(CreateFileASFAnalyser, asf(false, true)), 500u);
    EXPECT_EQ(SizeOf(CreateFileASFAnalyser, asf(true, false)), 0u);
    Bytes zero = asf(true, true);
    PutLE(zero, 16, 0, 8);  // an object of size 0 would never move the walk
    EXPECT_EQ(SizeOf(CreateFileASFAnalyser, zero), 0u);
}

TEST(FirstSetWalks, ThreeGpBoxes) {
    Bytes b;
    PutBE(b, 0, 20, 4);
    Put(b, 4, "ftyp3gp4");
    b.resize(20, 0);
    PutBE(b, 20, 100, 4);
    Put(b, 24, "moov");
    b.resize(120, 0x44);
    PutBE(b, 120, 200, 4);
    Put(b, 124, "mdat");
    b.resize(320, 0x55);
    EXPECT_EQ(SizeOf(CreateFile3GPAnalyser, b), 320u);
}

TEST(FirstSetWalks, PhotoPaintOffsetTable) {
    Bytes b(4096, 0);
    Put(b, 0, "CPT9FILE");
    PutLE(b, 40, 2, 4);    // two blocks
    PutLE(b, 52, 316, 4);  // offset table
    PutLE(b, 316, 1000, 4);
    PutLE(b, 324, 2000, 4);  // last block B
    PutLE(b, 2000 + 60, 3000, 4);  // D = B + 60 holds E
    PutLE(b, 2000 + 64, 1, 4);
    PutLE(b, 3000 - 8, 3100, 4);
    PutLE(b, 3000 - 4, 400, 4);
    b.resize(3500, 0x66);
    EXPECT_EQ(SizeOf(CreateFileCPTAnalyser, b), 3500u);
    PutLE(b, 2000 + 64, 0, 4);  // no trailer: the last block's start
    EXPECT_EQ(SizeOf(CreateFileCPTAnalyser, b), 2000u);
    PutLE(b, 52, 317, 4);
    EXPECT_FALSE(Analyse(CreateFileCPTAnalyser, b).bHeader);
}

Bytes CrwHeader() {
    Bytes b(512, 0);
    Put(b, 0, std::string_view("II\x1A\0\0\0HEAPCCDR\x02\0", 16));
    return b;
}

TEST(FirstSetWalks, CanonRawFindsItsCameraBlockAndStaysInsideTheData) {
    Bytes b = CrwHeader();
    b.resize(6000, 0x77);
    size_t x = 3000;
    Put(b, x, "High definition CCD image");
    Put(b, x + 32, "CRW:High definition CCD image");
    Put(b, x + 122, "Canon");
    Put(b, x + 128, "Canon PowerShot");
    EXPECT_EQ(SizeOf(CreateFileCRWAnalyser, b), 3072u);
    // Without the block the file reaches the end of the data, not 20 MiB beyond it.
    Bytes lone = CrwHeader();
    lone.resize(4096, 0x77);
    Outcome o = Analyse(CreateFileCRWAnalyser, lone, 10000);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.info.m_nSize, (4096u + 10000 + 511) / 512 * 512);
}

Bytes Dwg(const char* ver) {
    Bytes b(512, 0);
    Put(b, 0, ver);
    return b;
}

TEST(FirstSetWalks, DrawingsByVersion) {
    const uint8_t image[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28, 0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
    Bytes r15 = Dwg("AC1015");
    PutLE(r15, 13, 2000, 4);
    PutLE(r15, 21, 3, 4);
    uint32_t loc[3][2] = {{100, 50}, {3000, 500}, {1500, 20}};
    for (int i = 0; i < 3; ++i) {
        r15[25 + 9 * i] = uint8_t(i);
        PutLE(r15, 25 + 9 * i + 1, loc[i][0], 4);
        PutLE(r15, 25 + 9 * i + 5, loc[i][1], 4);
    }
    Put(r15, 2000, image, 16);
    r15.resize(3500, 0x12);
    EXPECT_EQ(SizeOf(CreateFileDWGAnalyser, r15), 3500u);
    PutLE(r15, 21, 0, 4);
    EXPECT_EQ(SizeOf(CreateFileDWGAnalyser, r15), 0u);

    const uint8_t r18s[16] = {0x68, 0x40, 0xF8, 0xF7, 0x92, 0x2A, 0xB5, 0xEF, 0x18, 0xDD, 0x0B, 0xF1, 0xF1, 0xBB, 0xE9, 0xEB};
    Bytes r18 = Dwg("AC1018");
    Put(r18, 128, r18s, 16);
    r18.resize(5000, 0x13);
    Put(r18, 5000, r18s, 16);
    r18.resize(5108, 0x14);
    EXPECT_EQ(SizeOf(CreateFileDWGAnalyser, r18), 5108u);

    Bytes r21 = Dwg("AC1021");
    Put(r21, 128, "0123456789ABCDEF");
    r21.resize(7000, 0x15);
    Put(r21, 7000, "0123456789ABCDEF");
    r21.resize(8024, 0x16);
    EXPECT_EQ(SizeOf(CreateFileDWGAnalyser, r21), 8024u);

    Outcome old = Analyse(CreateFileDWGAnalyser, Dwg("AC1009"));
    EXPECT_TRUE(old.bHeader);
    EXPECT_FALSE(old.bMeasured);
    Bytes odd = Dwg("AC1015");
    odd[6] = 1;
    EXPECT_FALSE(Analyse(CreateFileDWGAnalyser, odd).bHeader);
}

TEST(FirstSetWalks, TerminatorsAndTheirLimits) {
    Bytes fh(512, 0x20);
    const uint8_t magic[16] = {0x1C, 0x01, 0x00, 0x00, 0x02, 0x00, 0x04, 0x1C, 0x01, 0x14, 0x00, 0x02, 0x00, 0x14, 0x1C, 0x01};
    Put(fh, 0, magic, 16);
    Put(fh, 34, "11");
    fh.resize(4000, 0x20);
    Put(fh, 4000, std::string_view("DECODE\0\xFF\xFF\xFF\xFF", 11));  // case is ignored
    EXPECT_EQ(SizeOf(CreateFileFH11Analyser, fh), 4011u);

    // A drawing without its end group runs to the cap; a page without its closing tag ends with its
    // text, as a file whose end was not found.
    Bytes dxf = Sample("a_drawing.dxf");
    dxf.resize(dxf.size() - 5);
    {
        CapGuard cap(30000);
        EXPECT_EQ(SizeOf(CreateFileDXFAnalyser, dxf, 70000), 30000u);
    }
    Bytes page = Sample("a_page.htm");
    page.resize(page.size() - 7);
    EXPECT_GE(SizeOf(CreateFileHTMAnalyser, page, 1200000), page.size());
    EXPECT_LT(SizeOf(CreateFileHTMAnalyser, page, 1200000), page.size() + 64);
    // A declaration first, the tag somewhere in the first sector.
    Bytes decl(600, ' ');
    Put(decl, 0, "<!-- saved page -->");
    Put(decl, 300, "<html><body>x</body></HTML>");
    EXPECT_EQ(SizeOf(CreateFileHTMAnalyser, decl), 512u);  // with the blanks after the tag, to the sector end
    Put(decl, 300, "<htmx");
    EXPECT_FALSE(Analyse(CreateFileHTMAnalyser, decl).bHeader);
}

Bytes Utf16(std::string_view s) {
    Bytes b;
    for (char c : s) {
        b.push_back(uint8_t(c));
        b.push_back(0);
    }
    return b;
}

TEST(FirstSetWalks, WidePagesEndAtTheirTagOrAtANonTextCharacter) {
    Bytes page = {0xFF, 0xFE};
    Bytes text = Utf16("<!DOCTYPE x><HTML><BODY>hello");
    page.insert(page.end(), text.begin(), text.end());
    Bytes withZero = page;
    withZero.push_back(0);
    withZero.push_back(0);
    Outcome o = Analyse(CreateFileUnicodeHTMAnalyser, withZero);
    ASSERT_TRUE(o.bMeasured);
    EXPECT_EQ(o.info.m_nSize, page.size());
    Bytes noTag = {0xFF, 0xFE};
    Bytes t2 = Utf16("<BODY>no html tag</BODY>");
    noTag.insert(noTag.end(), t2.begin(), t2.end());
    EXPECT_EQ(SizeOf(CreateFileUnicodeHTMAnalyser, noTag), 0u);
}

Bytes Gif(uint8_t nScreenFlags) {
    Bytes b;
    Put(b, 0, "GIF89a");
    PutLE(b, 6, 2, 2);
    PutLE(b, 8, 2, 2);
    b.push_back(nScreenFlags);
    b.push_back(0);
    b.push_back(0);
    if (nScreenFlags & 0x80) b.resize(b.size() + 6, 0);  // two colours
    // Image descriptor with a local table of two colours, LZW code size, one data block.
    const uint8_t image[] = {',', 0, 0, 0, 0, 2, 0, 2, 0, 0x80, 0, 0, 0, 0xFF, 0xFF, 0xFF, 2, 2, 0x4C, 0x01, 0};
    b.insert(b.end(), std::begin(image), std::end(image));
    b.push_back(';');
    return b;
}

TEST(FirstSetWalks, GifWithAndWithoutAGlobalColourTable) {
    Bytes a = Gif(0x80);
    EXPECT_EQ(SizeOf(CreateFileGIFAnalyser, a), a.size());
    Bytes b = Gif(0x07);  // no global table although the size bits are set
    EXPECT_EQ(SizeOf(CreateFileGIFAnalyser, b), b.size());
    Bytes stray = Gif(0x80);
    stray.insert(stray.begin() + 19, 1100, 'x');  // more than 1024 stray bytes
    EXPECT_EQ(SizeOf(CreateFileGIFAnalyser, stray), 0u);
}

Bytes PlainJpeg(uint8_t nComponents) {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    b.resize(b.size() + 64, 1);
    const uint8_t sof[] = {0xFF, 0xC0, 0x00, 0x11, 8, 0, 4, 0, 4, nComponents, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1};
    b.insert(b.end(), std::begin(sof), std::end(sof));
    const uint8_t sos[] = {0xFF, 0xDA, 0x00, 0x0C, nComponents, 1, 0, 2, 0x11, 3, 0x11, 0, 63, 0};
    b.insert(b.end(), std::begin(sos), std::end(sos));
    b.insert(b.end(), {0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9});
    return b;
}

TEST(FirstSetWalks, JpegWithoutApplicationSegment) {
    Bytes ok = PlainJpeg(3);
    EXPECT_EQ(SizeOf(CreateFileJPGAnalyser, ok), ok.size());
    EXPECT_EQ(SizeOf(CreateFileJPGAnalyser, PlainJpeg(1)), 0u);
    // A JFIF file whose scan precedes any frame header is no picture.
    Bytes jfif = Sample("a_jfif.jpg");
    Bytes noFrame = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    noFrame.insert(noFrame.end(), jfif.begin() + 6, jfif.begin() + 20);
    noFrame.insert(noFrame.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 63, 0, 0xFF, 0xD9});
    EXPECT_EQ(SizeOf(CreateFileJPGAnalyser, noFrame), 0u);
    // Fill bytes before a marker are skipped (the application segment ends at 20).
    Bytes filled = jfif;
    ASSERT_EQ(filled[20], 0xFF);
    filled.insert(filled.begin() + 20, 0xFF);
    EXPECT_EQ(SizeOf(CreateFileJPGAnalyser, filled), filled.size());
}

// --- EXIF block reader ---------------------------------------------------------------------------

Bytes ExifBlock() {
    Bytes b;
    Put(b, 0, std::string_view("Exif\0\0II*\0", 10));
    PutLE(b, 10, 8, 4);  // first directory at 8 (relative to the byte-order mark)
    PutLE(b, 14, 2, 2);  // two entries
    // Model, ASCII, 12 bytes at 40.
    PutLE(b, 16, 0x0110, 2);
    PutLE(b, 18, 2, 2);
    PutLE(b, 20, 12, 4);
    PutLE(b, 24, 40, 4);
    // Exif sub-directory at 60.
    PutLE(b, 28, 34665, 2);
    PutLE(b, 30, 4, 2);
    PutLE(b, 32, 1, 4);
    PutLE(b, 36, 60, 4);
    PutLE(b, 40, 0, 4);  // next directory: none
    Put(b, 6 + 40, std::string_view("Model \xE9 9\0\0\0", 12));
    PutLE(b, 6 + 60, 1, 2);
    PutLE(b, 6 + 62, 0x9003, 2);
    PutLE(b, 6 + 64, 2, 2);
    PutLE(b, 6 + 66, 20, 4);
    PutLE(b, 6 + 70, 80, 4);
    PutLE(b, 6 + 74, 0, 4);
    Put(b, 6 + 80, std::string_view("2019:12:31 23:59:58\0", 20));
    return b;
}

TEST(ExifReader, ReadsModelAndDateAndReportsEachInconsistency) {
    Bytes b = ExifBlock();
    CJpegExifReader r;
    ASSERT_TRUE(r.Parse(b)) << r.Error();
    EXPECT_EQ(r.m_strModel, "Model \xC3\xA9 9");  // Latin-1 byte as UTF-8
    EXPECT_EQ(r.m_strOriginal, "2019:12:31 23:59:58");

    auto errorOf = [](Bytes x) {
        CJpegExifReader e;
        e.Parse(x);
        return e.Error();
    };
    Bytes bad = b;
    bad[0] = 'e';
    EXPECT_EQ(errorOf(bad), "Incorrect Exif header");
    bad = b;
    bad[6] = 'X';
    EXPECT_EQ(errorOf(bad), "Invalid Exif alignment marker.");
    bad = b;
    bad[8] = 43;
    EXPECT_EQ(errorOf(bad), "Invalid Exif start (1)");
    bad = b;
    PutLE(bad, 10, 20, 4);
    EXPECT_EQ(errorOf(bad), "Suspicious offset of first IFD value");
    bad = b;
    PutLE(bad, 18, 13, 2);
    EXPECT_EQ(errorOf(bad), "Illegal format code in EXIF dir");
    bad = b;
    PutLE(bad, 24, 4000, 4);
    EXPECT_EQ(errorOf(bad), "Illegal pointer offset value in EXIF.");
    bad = b;
    PutLE(bad, 14, 500, 2);
    EXPECT_EQ(errorOf(bad), "Illegally sized directory");
    bad = b;
    PutLE(bad, 36, 8, 4);  // the sub-directory link points back at the first directory
    EXPECT_EQ(errorOf(bad), "Illegal subdirectory link");
}

}  // namespace
