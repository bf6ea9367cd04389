#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Analysers/KivAnalyserTable.h"
#include "Raw/CCustomHeaderManage.h"
#include "Raw/CScriptProcess.h"

namespace fs = std::filesystem;

namespace {

const char* kGood =
    "REMARK: MPEG program stream\r\n"
    "FILEINFO: EXTNAME=\"mpg\"\r\n"
    "FILESIGN: OFFSET=0x0 TYPE=BYTE VALUE=0x00,0x00, 0x01,\t0xBA\r\n"
    "FILESIGN: OFFSET = 0x1F0 TYPE=char VALUE=\"END\"";

bool Valid(const std::string& text) {
    CScriptProcess s;
    return s.OpenText(text) && s.IsValid();
}

std::string SignLine(const std::string& body) { return "FILEINFO: EXTNAME=\"X\"\r\nFILESIGN: " + body; }

}  // namespace

TEST(Script, ParsesAValidFile) {
    CScriptProcess s;
    ASSERT_TRUE(s.OpenText(kGood));
    ASSERT_TRUE(s.IsValid());
    EXPECT_EQ(*s.GetLine(1), "FILEINFO: EXTNAME=\"mpg\"");
    EXPECT_FALSE(s.GetLine(4).has_value());
    std::string ext;
    ASSERT_TRUE(s.GetExtName(&ext));
    EXPECT_EQ(ext, "MPG");
    size_t cursor = 0;
    KivSignItem item;
    ASSERT_TRUE(s.NextSign(&cursor, &item));
    EXPECT_EQ(cursor, 3u);
    EXPECT_EQ(item.nOffset, 0u);
    EXPECT_EQ(item.bytes, (std::vector<uint8_t>{0x00, 0x00, 0x01, 0xBA}));
    ASSERT_TRUE(s.NextSign(&cursor, &item));
    EXPECT_EQ(item.nOffset, 0x1F0u);
    EXPECT_EQ(item.nLength, 3u);
    EXPECT_EQ(std::string(item.bytes.begin(), item.bytes.end()), "END");
    EXPECT_FALSE(s.NextSign(&cursor, &item));
}

TEST(Script, RefusesWholeFileForOneBadLine) {
    EXPECT_TRUE(Valid(SignLine("OFFSET=0x1F0 TYPE=CHAR VALUE=\"A\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x1F1 TYPE=CHAR VALUE=\"A\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=16 TYPE=CHAR VALUE=\"A\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x TYPE=CHAR VALUE=\"A\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x000000010 TYPE=CHAR VALUE=\"A\"")));  // 9 digits
    EXPECT_TRUE(Valid(SignLine("OFFSET=0x00000010 TYPE=CHAR VALUE=\"A\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x10 TYPE=WORD VALUE=\"A\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x10 TYPE=CHAR VALUE=\"\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x10 TYPE=CHAR VALUE=A")));
    EXPECT_TRUE(Valid(SignLine("OFFSET=0x10 TYPE=CHAR VALUE=\"0123456789ABCDEF\"")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x10 TYPE=CHAR VALUE=\"0123456789ABCDEFG\"")));

    std::string b16 = "0x01";
    for (int i = 1; i < 16; ++i) b16 += ",0x01";
    EXPECT_TRUE(Valid(SignLine("OFFSET=0x0 TYPE=BYTE VALUE=" + b16)));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x0 TYPE=BYTE VALUE=" + b16 + ",0x01")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x0 TYPE=BYTE VALUE=0x01,")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x0 TYPE=BYTE VALUE=0x100")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x0 TYPE=BYTE VALUE=0x01,0x0001")));  // last number too long
    EXPECT_TRUE(Valid(SignLine("OFFSET=0x0 TYPE=BYTE VALUE=0x0001,0x01")));
    EXPECT_FALSE(Valid(SignLine("OFFSET=0x0 TYPE=BYTE VALUE=1,2")));

    EXPECT_FALSE(Valid("FILEINFO: extname=\"JPG\""));  // keys are case-sensitive
    EXPECT_FALSE(Valid("FILEINFO: EXTNAME=\"\""));
    EXPECT_FALSE(Valid("FILEINFO: EXTNAME=\"ABCDEFGHIJKLMNOPQ\""));
    EXPECT_TRUE(Valid("FILEINFO: EXTNAME=\"ABCDEFGHIJKLMNOP\""));
    EXPECT_FALSE(Valid("FILEINFO: EXTNAME=JPG"));
    // Any text is an extension, as the header format has it; the type table keeps it out of paths.
    EXPECT_TRUE(Valid("FILEINFO: EXTNAME=\"TAR.GZ\""));
    EXPECT_TRUE(Valid("FILEINFO: EXTNAME=\"../x\""));
    EXPECT_FALSE(Valid("HEADER: EXTNAME=\"JPG\""));
    EXPECT_FALSE(Valid("no colon here"));
    EXPECT_TRUE(Valid("  remark : anything at all = \" "));

    // A final CR LF leaves an empty last line, which is not valid.
    EXPECT_FALSE(Valid(std::string(kGood) + "\r\n"));
    EXPECT_FALSE(Valid(""));

    std::string big = "REMARK:" + std::string(1017, 'x');
    EXPECT_TRUE(Valid(big));  // 1024 bytes
    EXPECT_FALSE(Valid(big + "x"));
}

TEST(Script, HeadersLoadFromFolderAndMatchInOrder) {
    fs::path dir = fs::temp_directory_path() / ("kiv-fhs-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto write = [&](const char* name, const std::string& text) { std::ofstream(dir / name, std::ios::binary) << text; };

    CCustomHeaderManage mgr;
    EXPECT_FALSE(mgr.Load(dir.string()));  // no header files at all
    write("a.fhs", "FILEINFO: EXTNAME=\"abc\"\r\nFILESIGN: OFFSET=0x2 TYPE=CHAR VALUE=\"AB\"");
    write("b.FHS", "FILEINFO: EXTNAME=\"def\"\r\nFILESIGN: OFFSET=0x2 TYPE=CHAR VALUE=\"AB\"\r\n"
                   "FILESIGN: OFFSET=0x1F0 TYPE=BYTE VALUE=0x55,0xAA");
    write("c.fhs", "FILEINFO: EXTNAME=\"bad\"\r\n");
    write("d.fhs", "FILEINFO: EXTNAME=\"none\"");  // loads, never matches
    write("e.txt", "FILEINFO: EXTNAME=\"txt\"\r\nFILESIGN: OFFSET=0x0 TYPE=CHAR VALUE=\"Z\"");
    ASSERT_TRUE(mgr.Load(dir.string()));
    ASSERT_EQ(mgr.Count(), 3u);

    std::vector<uint8_t> sector(512, 0);
    std::string ext;
    EXPECT_FALSE(mgr.Match(sector, &ext));
    sector[2] = 'A';
    sector[3] = 'B';
    ASSERT_TRUE(mgr.Match(sector, &ext));
    EXPECT_EQ(ext, "ABC");
    sector[0] = 'Z';
    EXPECT_TRUE(mgr.Match(sector, &ext));
    EXPECT_EQ(ext, "ABC");
    EXPECT_TRUE(mgr.At(1).Match([&] {
        auto s = sector;
        s[0x1F0] = 0x55;
        s[0x1F1] = 0xAA;
        return s;
    }()));
    EXPECT_FALSE(mgr.At(1).Match(sector));
    EXPECT_FALSE(mgr.At(1).Match(std::span<const uint8_t>(sector.data(), 0x1F1)));  // short input
    fs::remove_all(dir);
}

// The user-defined headers are asked last, after the analysers of ids above theirs: a format that
// has an analyser of its own (7z and FLAC ship as header files too) is measured, not taken to
// the next carved file.
TEST(Script, UserDefinedHeadersComeAfterEveryAnalyser) {
    RawAnalyserRegistry reg;
    std::vector<uint32_t> sel = {33, 74, 80, 84};
    reg.Rebuild(sel);
    std::vector<int32_t> ids;
    for (auto* a : reg.Items()) ids.push_back(a->GetId());
    EXPECT_EQ(ids, (std::vector<int32_t>{33, 80, 84, -1}));
}
