// Ini files, the ini text loader and the error and hint texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "KivPortable.h"
#include "KivIniLoader.h"
#include "platform/KivIniFile.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::string Utf16File(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (char16_t c : KivUtf8ToUtf16(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// A file placed beside the test program, removed again at the end of the test.
class ExeDirFile {
public:
    ExeDirFile(const std::string& name, const std::string& bytes)
        : m_path(KivGetExeDir() + "/" + name) {
        WriteBytes(m_path, bytes);
    }
    ~ExeDirFile() { fs::remove(m_path); }
    std::string m_path;
};

const char* kSample =
    "; comment\r\n"
    "[Zeta]\r\n"
    "Key = first \r\n"
    "key=second\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Empty=\r\n"
    "[alpha]\r\n"
    "Num=0x20\r\n"
    "Name=caf\xC3\xA9\r\n"
    "[ZETA]\r\n"
    "Key=from duplicate section\r\n";

TEST(IniFileTest, NarrowAndUtf16FilesReadTheSame) {
    std::string dir = (fs::temp_directory_path() / ("kivini." + std::to_string(KivTestPid()))).string();
    fs::create_directories(dir);
    WriteBytes(dir + "/narrow.ini", kSample);
    WriteBytes(dir + "/wide.ini", Utf16File(kSample));
    for (const char* name : {"/narrow.ini", "/wide.ini"}) {
        CKivIniFile ini;
        ASSERT_TRUE(ini.Load(dir + name)) << name;
        EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Zeta", "alpha", "ZETA"})) << name;
        EXPECT_EQ(ini.GetString("zeta", "KEY"), "first") << name;  // first section, first key
        EXPECT_EQ(ini.GetString("Zeta", "Quoted"), "  spaced  ") << name;
        EXPECT_EQ(ini.GetString("ALPHA", "name"), "caf\xC3\xA9") << name;
        EXPECT_EQ(ini.GetInt("alpha", "num", -1), 32) << name;
        EXPECT_EQ(ini.GetString("alpha", "missing", "def"), "def") << name;
        EXPECT_EQ(ini.GetString("nosection", "Key", "def"), "def") << name;
        std::string v = "x";
        EXPECT_TRUE(ini.Find("Zeta", "Empty", &v)) << name;
        EXPECT_EQ(v, "");
        EXPECT_EQ(ini.KeyNames("zeta"), (std::vector<std::string>{"Key", "key", "Quoted", "Empty"}));
    }
    std::string out;
    EXPECT_EQ(KivIniGetString(dir + "/wide.ini", "Zeta", "Key", "d", &out, 4), 3u);  // capped like a buffer
    EXPECT_EQ(out, "fir");
    EXPECT_EQ(KivIniGetString(dir + "/none.ini", "Zeta", "Key", "dflt", &out, 100), 4u);
    EXPECT_EQ(out, "dflt");
    CKivIniFile folder;
    EXPECT_FALSE(folder.Load(dir));
    fs::remove_all(dir);
}

TEST(IniLoaderTest, LooksUpBesideTheProgramAndFailsWithMinusOne) {
    ExeDirFile f("KivTestLoader.ini", Utf16File("[ErrCode]\r\n3=three %x\r\n15=hex key\r\nblank=\r\n[S]\r\nk=v\r\n"));
    CKivIniLoader ok;
    EXPECT_EQ(ok.Init("C:\\some\\folder\\KivTestLoader.ini"), KIV_OK);  // only the file name counts
    std::string t;
    EXPECT_EQ(ok.LoadStrByCode("ErrCode", 0x15, &t), KIV_OK);
    EXPECT_EQ(t, "hex key");
    EXPECT_EQ(ok.LoadStrByStr("S", "k", &t), KIV_OK);
    EXPECT_EQ(t, "v");
    EXPECT_EQ(ok.LoadStrByStr("S", "blank", &t), KIV_FAIL);
    EXPECT_EQ(ok.LoadStrByStr("", "k", &t), KIV_FAIL);

    CKivIniLoader missing;
    EXPECT_TRUE(KivFailed(missing.Init("KivNoSuchFile.ini")));
    EXPECT_EQ(missing.LoadStrByCode("ErrCode", 3, &t), KIV_FAIL);
    CKivIniLoader endsInSeparator;
    EXPECT_TRUE(KivFailed(endsInSeparator.Init("folder\\")));
}

TEST(ErrTextTest, ShippedTextsAndFallbacks) {
    // The shipped file has a text for 0x003 that shows the code.
    KivResult code = KivMakeCode(12, 0x12, 0x003);
    std::string t = KivLoadErrText(code);
    EXPECT_NE(t.find("wrong moment"), std::string::npos) << t;
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%08x", code);
    EXPECT_NE(t.find(hex), std::string::npos) << t;
    // An unknown number falls back to the generic key "0".
    EXPECT_NE(KivLoadErrText(KivMakeCode(1, 0x12, 0xABC)).find("The operation failed"), std::string::npos);
    EXPECT_FALSE(KivLoadHintText("DlgMsg", "ExitCheck").empty());
    EXPECT_TRUE(KivLoadHintText("DlgMsg", "NoSuchKey").empty());
}

TEST(ErrTextTest, MessageTextsCannotReadMissingArguments) {
    EXPECT_EQ(KivFormatCodeText("Unknow errorcode 0x%x", 0x1234abc), "Unknow errorcode 0x1234abc");
    EXPECT_EQ(KivFormatCodeText("%08X|%d|%%|%lx", 0x2A), "0000002A|42|%|2a");
    // Conversions that would read a pointer are left as they stand.
    EXPECT_EQ(KivFormatCodeText("%s %n %p %", 1), "%s %n %p %");
}

TEST(UiTextTest, BreakMarkersBecomeLineBreaks) {
    std::string path = (fs::temp_directory_path() / ("kivui." + std::to_string(KivTestPid()) + ".ini")).string();
    WriteBytes(path, "[Page]\nText=one{\\r\\n}two{\\r\\n}\n");
    std::string t;
    EXPECT_EQ(KivReadUiText(path, "page", "text", &t), 10u);
    EXPECT_EQ(t, "one\r\ntwo\r\n");
    EXPECT_EQ(KivReadUiText(path, "page", "none", &t), 0u);
    EXPECT_EQ(t, "");
    fs::remove(path);
}

}  // namespace
