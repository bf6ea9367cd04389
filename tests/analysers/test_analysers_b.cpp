// Second analyser set: sample files made by real tools (scripts/make-analyser-files-b), structures
// built here from the formats' published layouts, and hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

namespace {

using Bytes = std::vector<uint8_t>;
using Factory = IRawFileAnalyser* (*)();
constexpr uint64_t kLead = 3;  // sectors of junk in front of the file on the test device

Bytes Sample(const std::string& name) {
    std::ifstream f(std::string(KIV_TEST_DATA_DIR) + "/analysers/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

Bytes Junk(size_t n, uint32_t nSeed) {
    std::mt19937 rng(nSeed);
    Bytes b(n);
    for (auto& c : b) c = static_cast<uint8_t>(rng());
    return b;
}

struct Outcome {
    bool bHeader = false;
    bool bMeasured = false;
    CRawFileInfo info;
};

// Lays junk, the file at sector kLead, and nJunk bytes of junk after it (the device ends there
// when nJunk is 0, rounded up to a whole sector with zeros), then asks the analyser.
Outcome Analyse(Factory make, const Bytes& file, size_t nJunk = 70000, uint32_t nSeed = 1) {
    Bytes dev = Junk(kLead * 512, nSeed + 100);
    dev.insert(dev.end(), file.begin(), file.end());
    Bytes tail = Junk(nJunk, nSeed);
    dev.insert(dev.end(), tail.begin(), tail.end());
    dev.resize((dev.size() + 511) / 512 * 512);
    KivMemDevStor stor(dev);
    std::unique_ptr<IRawFileAnalyser> a(make());
    Outcome o;
    o.info.m_nStartSector = kLead;
    o.bHeader = a->CheckHeader(std::span<const uint8_t>(dev.data() + kLead * 512, 512), &o.info);
    if (o.bHeader) o.bMeasured = a->MeasureFile(&o.info, &stor);
    return o;
}

// --- Files made by real tools -------------------------------------------------------------------

struct SampleCase {
    const char* pszFile;
    Factory make;
    uint32_t nType;
    int64_t nExtra;  // expected size = file length + nExtra
    const char* pszTitle;
    const char* pszDetail;
};

std::ostream& operator<<(std::ostream& os, const SampleCase& c) { return os << c.pszFile; }

class AnalysersBSample : public testing::TestWithParam<SampleCase> {};

TEST_P(AnalysersBSample, RecognisedAndMeasuredExactlyBeforeJunk) {
    const SampleCase& c = GetParam();
    Bytes file = Sample(c.pszFile);
    ASSERT_GT(file.size(), 0u) << "run scripts/make-analyser-files-b";
    for (uint32_t nSeed : {1u, 2u}) {
        Outcome o = Analyse(c.make, file, 70000, nSeed);
        ASSERT_TRUE(o.bHeader);
        ASSERT_TRUE(o.bMeasured);
        EXPECT_EQ(o.info.m_nTypeId, c.nType);
        EXPECT_EQ(o.info.m_nSize, file.size() + c.nExtra);
        if (c.pszTitle) {
            EXPECT_EQ(o.info.m_strTitle, c.pszTitle);
        }
        if (c.pszDetail) {
            EXPECT_EQ(o.info.m_strDetail, c.pszDetail);
        }
    }
    // At the very end of the device, the walks end cleanly on the missing data.
    Outcome o = Analyse(c.make, file, 0);
    ASSERT_TRUE(o.bHeader && o.bMeasured);
    EXPECT_EQ(o.info.m_nSize, file.size() + c.nExtra);
}

TEST_P(AnalysersBSample, FirstBytesAdmitTheFile) {
    Bytes file = Sample(GetParam().pszFile);
    ASSERT_FALSE(file.empty());
    std::unique_ptr<IRawFileAnalyser> a(GetParam().make());
    std::string_view first = a->FirstBytes();
    if (!first.empty()) {
        EXPECT_NE(first.find(char(file[0])), std::string_view::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, AnalysersBSample,
    testing::Values(SampleCase{"b_image.png", CreateFilePNGAnalyser, 47, 0, nullptr, nullptr},
                    SampleCase{"b_image.tif", CreateFileTIFAnalyser, 60, 0, "", nullptr},
                    SampleCase{"b_image_plain.tif", CreateFileTIFAnalyser, 60, 0, "", nullptr},
                    SampleCase{"b_image.psd", CreateFilePSDAnalyser, 50, 0, nullptr, nullptr},
                    SampleCase{"b_tone.wav", CreateFileRIFFAnalyser, 63, 0, nullptr, nullptr},
                    SampleCase{"b_song.mp3", CreateFileMP3Analyser, 41, 0, "Lost Song", "2024"},
                    SampleCase{"b_doc.pdf", CreateFilePDFAnalyser, 46, 0, nullptr, nullptr},
                    SampleCase{"b_plain.zip", CreateFileZIPAnalyser, 68, 0, nullptr, nullptr},
                    SampleCase{"b_stream.zip", CreateFileZIPAnalyser, 68, 0, nullptr, nullptr},
                    SampleCase{"b_doc.docx", CreateFileZIPAnalyser, 69, 0, nullptr, nullptr},
                    SampleCase{"b_book.xlsx", CreateFileZIPAnalyser, 70, 0, nullptr, nullptr},
                    SampleCase{"b_show.pptx", CreateFileZIPAnalyser, 71, 0, nullptr, nullptr},
                    SampleCase{"b_notoffice.zip", CreateFileZIPAnalyser, 68, 0, nullptr, nullptr},
                    SampleCase{"b_tree.tar", CreateFileTARAnalyser, 59, 0, nullptr, nullptr},
                    SampleCase{"b_font.ttf", CreateFileTTFAnalyser, 61, 0, nullptr, nullptr},
                    SampleCase{"b_word.doc", CreateFileOLEAnalyser, 21, 0, nullptr, nullptr},
                    SampleCase{"b_book.xls", CreateFileOLEAnalyser, 67, 0, nullptr, nullptr},
                    SampleCase{"b_show.ppt", CreateFileOLEAnalyser, 48, 0, nullptr, nullptr},
                    SampleCase{"b_draw.vsd", CreateFileOLEAnalyser, 62, 1024, nullptr, nullptr},
                    SampleCase{"b_note.rtf", CreateFileRTFAnalyser, 56, 0, nullptr, nullptr}));

}  // namespace
