// Second analyser set against hostile input: random data behind each format's signature, and the
// sample files truncated and corrupted. Nothing may crash, hang or read outside its data (the
// tests run under the address and undefined-behaviour sanitizers), and no size passes the cap.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Analysers/IRawFileAnalyser.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivMemDevStor.h"
#include "Model/KivScanSettings.h"

using namespace std::string_literals;

namespace {

using Bytes = std::vector<uint8_t>;

struct Target {
    const char* pszName;
    IRawFileAnalyser* (*make)();
    std::string signature;  // placed at offset 0 (or at the offset below)
    size_t nAt = 0;
    const char* pszSample = nullptr;
    bool bMeasures = true;  // false: the header states the size, which the cap does not bound
};

std::ostream& operator<<(std::ostream& os, const Target& t) { return os << t.pszName; }

const std::vector<Target>& Targets() {
    static const std::vector<Target> v = {
        {"LowDoc", CreateFileLowDocAnalyser, "\xDB\xA5\x2D\0"s, 0, nullptr, false},
        {"LZH", CreateFileLZHAnalyser, "-lh5-", 2},
        {"MDB", CreateFileMDBAnalyser, "\0\x01\0\0Standard Jet DB"s},
        {"MID", CreateFileMIDAnalyser, "MThd\0\0\0\x06\0\x01\0\x02"s},
        {"MNY", CreateFileMNYAnalyser, "MSISAM Database", 4, nullptr, false},
        {"MOV", CreateFileMOVAnalyser, "ftypqt  ", 4},
        {"MP3", CreateFileMP3Analyser, "ID3\x03\0\0\0\0\x02\0"s, 0, "b_song.mp3"},
        {"MP4", CreateFileMP4Analyser, "\0\0\0\x18" "ftypisom"s},
        {"OLE", CreateFileOLEAnalyser, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 0, "b_show.ppt"},
        {"ONE", CreateFileONEAnalyser, "\xE4\x52\x5C\x7B\x8C\xD8\xA7\x4D\xAE\xB1\x53\x78\xD0\x29\x96\xD3", 0, nullptr, false},
        {"PDF", CreateFilePDFAnalyser, "%PDF-1.4", 0, "b_doc.pdf"},
        {"PNG", CreateFilePNGAnalyser, "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR"s, 0, "b_image.png"},
        {"PSD", CreateFilePSDAnalyser, "8BPS\0\x01\0\0\0\0\0\0"s, 0, "b_image.psd"},
        {"PSP", CreateFilePSPAnalyser, "Paint Shop Pro Image File\n\x1A\0\0\0\0\0"s},
        {"PST", CreateFilePSTAnalyser, "!BDN", 0, nullptr, false},
        {"RAR", CreateFileRARAnalyser, "Rar!\x1A\x07\0"s},
        {"RIFF", CreateFileRIFFAnalyser, "RIFF", 0, "b_tone.wav", false},
        {"RTF", CreateFileRTFAnalyser, "{\\rtf1", 0, "b_note.rtf"},
        {"SWF", CreateFileSWFAnalyser, "FWS", 0, nullptr, false},
        {"TAR", CreateFileTARAnalyser, "ustar", 257, "b_tree.tar"},
        {"TIF", CreateFileTIFAnalyser, "II\x2A\0"s, 0, "b_image.tif"},
        {"TTF", CreateFileTTFAnalyser, "\0\x01\0\0\0\x04"s, 0, "b_font.ttf", false},
        {"WMF", CreateFileWMFAnalyser, "\x01\0\x09\0"s, 0, nullptr, false},
        {"WPD", CreateFileWPDAnalyser, "\xFFWPC", 0, nullptr, false},
        {"ZIP", CreateFileZIPAnalyser, "PK\x03\x04", 0, "b_stream.zip"},
    };
    return v;
}

// Asks the analyser about the data at sector 0 of a device holding exactly dev.
void Probe(const Target& t, Bytes dev) {
    dev.resize(std::max<size_t>((dev.size() + 511) / 512 * 512, 512));
    KivMemDevStor stor(dev);
    std::unique_ptr<IRawFileAnalyser> a(t.make());
    CRawFileInfo info;
    if (a->CheckHeader(std::span<const uint8_t>(dev.data(), 512), &info) && a->MeasureFile(&info, &stor) && t.bMeasures) {
        EXPECT_LE(info.m_nSize, KivScanSettings::Get().nMaxCarvedSize);
    }
    a->GetTitleText();
    a->GetDetailText();
}

std::vector<Target> WithSamples() {
    std::vector<Target> v;
    for (const auto& t : Targets())
        if (t.pszSample) v.push_back(t);
    return v;
}

class AnalysersBFuzz : public testing::TestWithParam<Target> {};
class AnalysersBFuzzSample : public testing::TestWithParam<Target> {};

TEST_P(AnalysersBFuzz, RandomDataBehindTheSignature) {
    const Target& t = GetParam();
    std::mt19937 rng(0x5EED + static_cast<uint32_t>(t.signature.size()));
    for (int i = 0; i < 200; ++i) {
        size_t n = 512 * (1 + rng() % 24) + (i % 3 == 0 ? 0 : rng() % 512);
        Bytes dev(n);
        // Mostly small values, so that lengths and offsets stay inside the device often.
        for (auto& c : dev) c = static_cast<uint8_t>(i % 2 ? rng() : rng() % 4);
        std::copy(t.signature.begin(), t.signature.end(), dev.begin() + t.nAt);
        Probe(t, dev);
    }
}

TEST_P(AnalysersBFuzzSample, TruncatedAndCorrupted) {
    const Target& t = GetParam();
    std::ifstream f(std::string(KIV_TEST_DATA_DIR) + "/analysers/" + t.pszSample, std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(f)), {});
    ASSERT_FALSE(file.empty());
    for (size_t n : {size_t(1), size_t(9), size_t(64), size_t(511), size_t(512), size_t(513), file.size() / 2, file.size() - 1})
        if (n <= file.size()) Probe(t, Bytes(file.begin(), file.begin() + n));
    std::mt19937 rng(42);
    for (int i = 0; i < 150; ++i) {
        Bytes bad = file;
        for (int k = 0; k < 1 + i % 8; ++k) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        if (i % 4 == 0) bad.resize(rng() % bad.size() + 1);
        Probe(t, bad);
    }
}

auto NameOf(const testing::TestParamInfo<Target>& i) { return std::string(i.param.pszName); }
INSTANTIATE_TEST_SUITE_P(All, AnalysersBFuzz, testing::ValuesIn(Targets()), NameOf);
INSTANTIATE_TEST_SUITE_P(All, AnalysersBFuzzSample, testing::ValuesIn(WithSamples()), NameOf);

}  // namespace
