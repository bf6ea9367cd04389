// Utilities, text conversions, the file-backed registry, named locks and the crash handler.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "KivCrashHandler.h"
#include "KivFunction.h"
#include "KivPortable.h"
#include "KivLogFile.h"
#include "KivReg.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

TEST(ExtListTest, SplitsSkipsEmptyPiecesAndSorts) {
    std::vector<std::wstring> w;
    EXPECT_EQ(StrExts2VecExtWsNames(L".jpg..png.", &w), KIV_OK);
    EXPECT_EQ(w, (std::vector<std::wstring>{L"jpg", L"png"}));
    std::vector<std::string> n{"stale"};
    EXPECT_EQ(StrExts2VecExtNames(L".xls .doc.docx", &n), KIV_OK);
    EXPECT_EQ(n, (std::vector<std::string>{"doc", "docx", "xls"}));
    EXPECT_EQ(StrExts2VecExtNames(".mp3 audio.. .wav", &n), KIV_OK);  // each piece ends at a blank
    EXPECT_EQ(n, (std::vector<std::string>{"mp3", "wav"}));
    EXPECT_EQ(KivErrNo(StrExts2VecExtNames("", &n)), KIV_E_INVALIDARG);
    EXPECT_TRUE(n.empty());
    EXPECT_EQ(KivErrNo(StrExts2VecExtWsNames(nullptr, &w)), KIV_E_INVALIDARG);
}

TEST(SizeTextTest, Examples) {
    EXPECT_EQ(KivSizeText(0), "0 B");
    EXPECT_EQ(KivSizeText(512), "512 B");
    EXPECT_EQ(KivSizeText(1023), "1023 B");
    EXPECT_EQ(KivSizeText(1536), "1.50 KB");
    EXPECT_EQ(KivSizeText(5242880), "5.00 MB");
    EXPECT_EQ(KivSizeText(3ull << 30), "3.00 GB");
    EXPECT_EQ(KivSizeText(1500ull << 30), "1.46 TB");
    EXPECT_EQ(KivSizeText(5ull << 50), "5.00 PB");
    EXPECT_EQ(KivTimeText(3725), " 1:02:05");
    EXPECT_EQ(KivTimeText(59), " 0:00:59");
}

TEST(PathTest, BesideTheProgram) {
    std::string exe = KivGetExeDir();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(fs::equivalent(exe, KIV_BIN_DIR)) << exe;  // Windows names the drive too
    std::string p;
    EXPECT_TRUE(KivPathBesideExe("C:\\dir\\KivFilter.ini", &p));
    EXPECT_EQ(p, exe + "/KivFilter.ini");
    EXPECT_FALSE(KivPathBesideExe("dir/", &p));
    EXPECT_FALSE(KivPathBesideExe("", &p));
    EXPECT_EQ(KivFilePathFromExeDir("res/res.ini", false), exe + "/res/res.ini");
    EXPECT_EQ(KivFilePathFromExeDir("res/res.ini", true), exe + "/res.ini");
}

TEST(TextTest, Utf8Utf16RoundTripAndInvalidInput) {
    std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7";  // a, e-acute, euro, a non-BMP character
    std::u16string w = KivUtf8ToUtf16(s);
    EXPECT_EQ(w, (std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDCF7}));
    EXPECT_EQ(KivUtf16ToUtf8(w), s);
    EXPECT_EQ(KivWideToUtf8(KivUtf8ToWide(s)), s);
    EXPECT_EQ(KivUtf8ToUtf16("\xFF" "b\xC3"), (std::u16string{0xFFFD, u'b', 0xFFFD}));
    EXPECT_EQ(KivUtf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong form
    EXPECT_EQ(KivUtf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");    // lone surrogate
    std::string n;
    EXPECT_EQ(KivWideToNarrow(L"x", &n), KIV_OK);
    EXPECT_EQ(KivWideToNarrow(L"", &n), KIV_FAIL);
    EXPECT_EQ(KivWideToNarrow(std::wstring(2048, L'a').c_str(), &n), KIV_FAIL);
}

TEST(TimeTest, FileTimeAndUnixTime) {
    EXPECT_EQ(KivUnixToFileTime(0), KIV_FILETIME_UNIX_EPOCH);
    int64_t sec;
    uint32_t ns;
    KivFileTimeToUnix(KivUnixToFileTime(1700000000, 123456700), &sec, &ns);
    EXPECT_EQ(sec, 1700000000);
    EXPECT_EQ(ns, 123456700u);
    KivFileTimeToUnix(0, &sec, &ns);  // 1601 lies before 1970
    EXPECT_EQ(sec, -11644473600);
    EXPECT_EQ(ns, 0u);
}

class RegTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = (fs::temp_directory_path() / ("kivreg." + std::to_string(KivTestPid()))).string();
        CKivReg::SetStoreDir(m_dir);
    }
    void TearDown() override {
        CKivReg::SetStoreDir("");
        fs::remove_all(m_dir);
    }
    std::string m_dir;
};

TEST_F(RegTest, WriteReadDeleteValuesAndKeys) {
    CKivReg reg;
    reg.SetRegPath(KIV_REG_CURRENT_USER, "Software\\Undelia", "Stats");
    const unsigned char data[] = {0, 1, 2, 0xFF};
    EXPECT_EQ(reg.WriteData2Reg("Base", "ProductBaseInfo", data, sizeof(data)), KIV_OK);
    unsigned char buf[16] = {};
    uint32_t n = sizeof(buf);
#ifndef _WIN32
    EXPECT_EQ(reg.ReadDataByReg("Base", "productbaseinfo", buf, &n) & 0xFFF, KIV_E_REGISTRY);  // names are exact
#endif
    n = sizeof(buf);
    EXPECT_EQ(reg.ReadDataByReg("Base", "ProductBaseInfo", buf, &n), KIV_OK);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::memcmp(buf, data, 4), 0);
    n = 2;
    EXPECT_EQ(KivErrNo(reg.ReadDataByReg("Base", "ProductBaseInfo", buf, &n)), KIV_E_REGISTRY);  // too small
    EXPECT_EQ(KivErrNo(reg.WriteData2Reg("Base", "V", nullptr, 4)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(reg.WriteData2Reg("Base", "V", data, 0)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(reg.WriteData2Reg("..\\..\\escape", "V", data, 1)), KIV_E_REGISTRY);
    EXPECT_EQ(reg.WriteData2Reg("Base", "a/b", data, 1), KIV_OK);  // any value name is one file

    EXPECT_EQ(reg.DeleteRegKey("Base", "ProductBaseInfo"), KIV_OK);
    n = sizeof(buf);
    EXPECT_EQ(KivErrNo(reg.ReadDataByReg("Base", "ProductBaseInfo", buf, &n)), KIV_E_REGISTRY);
    EXPECT_EQ(reg.DeleteRegDir("Base"), KIV_OK);
    EXPECT_EQ(KivErrNo(reg.DeleteRegKey("Base", "a/b")), KIV_E_REGISTRY);
    reg.Reset();
    n = sizeof(buf);
    EXPECT_EQ(KivErrNo(reg.ReadDataByReg("Base", "x", buf, &n)), KIV_E_REGISTRY);
}

}  // namespace
