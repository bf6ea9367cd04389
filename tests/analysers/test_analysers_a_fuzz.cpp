// Hostile input for the first analyser set: random data behind each signature, and samples cut
// short or with bytes flipped, on devices that end right after them. Nothing may crash or read
// outside its data (the CI runs this under the address and undefined-behaviour sanitizers), and
// a measured size never passes the cap.
#include <gtest/gtest.h>

#include "AnalyserTestKit.h"
#include "Analysers/KivAnalyserFactories.h"

using namespace kit;
using namespace std::literals;

namespace {

struct FuzzTarget {
    const char* pszName;
    Factory make;
    std::string_view sig;  // placed at offset sigAt of random data
    size_t sigAt = 0;
    const char* pszSample = nullptr;
};

void PrintTo(const FuzzTarget& t, std::ostream* os) { *os << t.pszName; }

const FuzzTarget kTargets[] = {
    {"3DS", CreateFile3DSAnalyser, "MM\xFF\xFF\0\0"sv},
    {"3GP", CreateFile3GPAnalyser, "\0\0\0\x14" "ftyp3gp4"sv},
    {"ASF", CreateFileASFAnalyser, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C\x40\0\0\0\0\0\0\0"sv},
    {"AU", CreateFileAUAnalyser, ".snd", 0, "a_tone.au"},
    {"BMP", CreateFileBMPAnalyser, "BM", 0, "a_image.bmp"},
    {"CAB", CreateFileCABAnalyser, "MSCF\0\0\0\0"sv, 0, "a_files.cab"},
    {"CHM", CreateFileCHMAnalyser, "ITSF\x03\0\0\0\x60\0\0\0"sv},
    {"CPT", CreateFileCPTAnalyser, "CPT9FILE"},
    {"CRW", CreateFileCRWAnalyser, "II\x1A\0\0\0HEAPCCDR\x02\0"sv},
    {"DBX", CreateFileDBXAnalyser, "JMF6\x03\0\x10\0"sv},
    {"DWG15", CreateFileDWGAnalyser, "AC1015\0\0"sv},
    {"DWG18", CreateFileDWGAnalyser, "AC1018\0\0"sv},
    {"DWG21", CreateFileDWGAnalyser, "AC1021\0\0"sv},
    {"DXF", CreateFileDXFAnalyser, "  0\r\nSECTION\r\n  2\r\nHEADER\r\n", 0, "a_drawing.dxf"},
    {"EMF", CreateFileEMFAnalyser, " EMF", 40},
    {"EPS", CreateFileEPSAnalyser, "\xC5\xD0\xD3\xC6"},
    {"FH11", CreateFileFH11Analyser, "\x1C\x01\0\0\x02\0\x04\x1C\x01\x14\0\x02\0\x14\x1C\x01"sv},
    {"GIF", CreateFileGIFAnalyser, "GIF89a", 0, "a_anim.gif"},
    {"GZ", CreateFileGZAnalyser, "\x1F\x8B\x08", 0, "a_numbers.gz"},
    {"HLP", CreateFileHLPAnalyser, "\x3F\x5F\x03\0"sv},
    {"HTM", CreateFileHTMAnalyser, "<HTML>", 0, "a_page.htm"},
    {"UnicodeHTM", CreateFileUnicodeHTMAnalyser, "\xFF\xFE<\0"sv, 0, "a_page16.htm"},
    {"ICO", CreateFileICOAnalyser, "\0\0\x01\0\x02\0"sv, 0, "a_icon.ico"},
    {"JPG", CreateFileJPGAnalyser, "\xFF\xD8\xFF\xE1\x01\0Exif\0\0"sv, 0, "a_exif.jpg"},
    {"JFIF", CreateFileJPGAnalyser, "\xFF\xD8\xFF\xE0\0\x10JFIF\0"sv, 0, "a_progressive.jpg"},
};

// Asks the analyser about the device's first sector and measures when it accepts.
void Offer(Factory make, Bytes data) {
    data.resize(std::max<size_t>((data.size() + 511) / 512 * 512, 512));
    KivMemDevStor stor(std::move(data));
    std::unique_ptr<IRawFileAnalyser> a(make());
    CRawFileInfo info;
    if (!a->CheckHeader(std::span<const uint8_t>(stor.m_data.data(), 512), &info)) return;
    bool bStated = info.m_nSize != 0;
    if (a->MeasureFile(&info, &stor) && !bStated) {
        EXPECT_LE(info.m_nSize, KivScanSettings::Get().nMaxCarvedSize);
    }
}

class FirstSetFuzz : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FirstSetFuzz, RandomDataBehindTheSignature) {
    const FuzzTarget& t = GetParam();
    CapGuard cap(1 << 20);
    for (uint32_t seed = 0; seed < 200; ++seed) {
        // Sizes around window borders and tiny devices.
        size_t n = seed % 4 == 0 ? 512 : seed % 4 == 1 ? 65536 + 512 : 512 * (1 + seed % 300);
        Bytes b = Junk(n, seed);
        Put(b, t.sigAt, t.sig);
        Offer(t.make, b);
    }
}

TEST_P(FirstSetFuzz, SampleCutShortOrWithBytesFlipped) {
    const FuzzTarget& t = GetParam();
    if (!t.pszSample) GTEST_SKIP() << "no sample";
    Bytes file = Sample(t.pszSample);
    ASSERT_FALSE(file.empty());
    CapGuard cap(1 << 20);
    for (size_t n = 1; n < file.size(); n += 1 + n / 8) Offer(t.make, Bytes(file.begin(), file.begin() + n));
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i) {
        Bytes b = file;
        for (int k = 0; k < 1 + i % 4; ++k) b[rng() % b.size()] = static_cast<uint8_t>(rng());
        Offer(t.make, b);
    }
}

INSTANTIATE_TEST_SUITE_P(All, FirstSetFuzz, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.pszName); });

}  // namespace
