// The report body, the stored base information and the settings that say where reports go.
#include <climits>
#include <string>

#include "KivReg.h"
#include "SrvReportBody.h"
#include "SrvSettings.h"
#include "SrvTestKit.h"

namespace {

using srvtest::ExampleBaseInfo;

// Percent-decoding that fails on a cut escape.
bool Decode(const std::string& s, std::string* pOut) {
    pOut->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            *pOut += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return false;
        *pOut += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return true;
}

std::string ValOf(const std::string& body) {
    size_t a = body.find("&val=") + 5;
    size_t b = body.find("&type=");
    return body.substr(a, b - a);
}

TEST(ReportBodyTest, NumberMessageMatchesTheServiceFormat) {
    EXPECT_EQ(KivBuildReportBody(ExampleBaseInfo(), KivMakeNumberMessage(7, 12)),
              "guid={00000001-0002-0003-0405-060708090A0B}&productId=3&edit=1&vermajor=2&verminor=5&isString=0"
              "&val=12&type=7");
    KivProductBaseInfo b = ExampleBaseInfo();
    b.nGuidData1 = 0xABCDEF01u;
    b.nProductId = INT_MIN;
    EXPECT_EQ(KivBuildReportBody(b, KivMakeNumberMessage(-1, INT_MIN)),
              "guid={ABCDEF01-0002-0003-0405-060708090A0B}&productId=-2147483648&edit=1&vermajor=2&verminor=5"
              "&isString=0&val=-2147483648&type=-1");
}

// A text can no longer add or change fields of the form.
TEST(ReportBodyTest, TextValuesAreEncodedWhole) {
    std::string body = KivBuildReportBody(ExampleBaseInfo(), KivMakeTextMessage(9, "a&type=1 b+c%d/\xC3\xBC\n~._-"));
    EXPECT_EQ(body,
              "guid={00000001-0002-0003-0405-060708090A0B}&productId=3&edit=1&vermajor=2&verminor=5&isString=1"
              "&val=a%26type%3D1%20b%2Bc%25d%2F%C3%BC%0A~._-&type=9");
    EXPECT_EQ(KivBuildReportBody(ExampleBaseInfo(), KivMakeTextMessage(1, "")).find("&val=&type=1"), body.find("&val="));
}

// Long texts are cut so the body fits 255 bytes, never inside an escape or a character.
TEST(ReportBodyTest, LongTextsAreCutAtWholeCharacters) {
    for (const std::string unit : {"x", "&", "\xC3\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        std::string text;
        while (text.size() + unit.size() <= KIV_SRV_TEXT_MAX) text += unit;
        KivSrvMessage m = KivMakeTextMessage(2, text.c_str());
        std::string body = KivBuildReportBody(ExampleBaseInfo(), m);
        EXPECT_LE(body.size(), KIV_SRV_BODY_MAX) << unit;
        EXPECT_EQ(body.substr(body.size() - 7), "&type=2");
        std::string val;
        ASSERT_TRUE(Decode(ValOf(body), &val)) << unit;
        EXPECT_FALSE(val.empty());
        EXPECT_EQ(val.size() % unit.size(), 0u) << unit;
        EXPECT_EQ(text.compare(0, val.size(), val), 0) << unit;
    }
    // Stray bytes are encoded one by one and still fit.
    std::string junk(300, '\xC3');
    std::string body = KivBuildReportBody(ExampleBaseInfo(), KivMakeTextMessage(2, junk.c_str()));
    EXPECT_LE(body.size(), KIV_SRV_BODY_MAX);
}

TEST(ReportBodyTest, TextMessagesKeepAtMostWholeCharacters) {
    std::string text(KIV_SRV_TEXT_MAX - 1, 'a');
    text += "\xE2\x82\xAC";  // a three-byte character across the limit
    KivSrvMessage m = KivMakeTextMessage(1, text.c_str());
    EXPECT_EQ(std::string(m.szText), std::string(KIV_SRV_TEXT_MAX - 1, 'a'));
    EXPECT_EQ(std::string(KivMakeTextMessage(1, nullptr).szText), "");
}

TEST(ReportBodyTest, BaseInfoBytesAreLittleEndianInFieldOrder) {
    KivProductBaseInfo b = ExampleBaseInfo();
    b.nVerMinor = -2;
    unsigned char bytes[32];
    KivBaseInfoToBytes(b, bytes);
    const unsigned char want[32] = {1, 0, 0, 0, 2, 0, 3, 0, 4, 5, 6, 7, 8, 9, 0x0A, 0x0B,
                                    3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(bytes, want, 32), 0);
    KivProductBaseInfo back = KivBaseInfoFromBytes(bytes);
    EXPECT_EQ(std::memcmp(&back, &b, sizeof(b)), 0);
}

TEST(SettingsTest, HostsPathsAndEndpoints) {
    for (const char* ok : {"stats.example.com", "127.0.0.1", "[::1]", "a-b_c"}) {
        EXPECT_TRUE(CSrvSettings::IsValidHost(ok)) << ok;
    }
    for (const char* bad : {"", "a/b", "user@host", "h:80", "a b", "h?x", "[::1", "[g::]", ".h", "-h", "h#"}) {
        EXPECT_FALSE(CSrvSettings::IsValidHost(bad)) << bad;
    }
    EXPECT_TRUE(CSrvSettings::IsValidPath("/StatisticAction?method=add"));
    for (const char* bad : {"", "x", "/a b", "/a\r\nHost: x", "/a#b"}) EXPECT_FALSE(CSrvSettings::IsValidPath(bad)) << bad;
    uint16_t port = 0;
    EXPECT_TRUE(CSrvSettings::ParsePort("65535", &port));
    EXPECT_EQ(port, 65535);
    for (const char* bad : {"0", "65536", "-1", "80x", "", "99999999999999"}) EXPECT_FALSE(CSrvSettings::ParsePort(bad, &port));

    std::string addr;
    EXPECT_TRUE(CSrvSettings::SplitEndpoint("127.0.0.1:8800", &addr, &port));
    EXPECT_EQ(addr, "127.0.0.1");
    EXPECT_EQ(port, 8800);
    EXPECT_TRUE(CSrvSettings::SplitEndpoint("[::1]:0", &addr, &port));
    EXPECT_EQ(addr, "::1");
    for (const char* bad : {"127.0.0.1", ":80", "::1:80", "[::1]", "1.2.3.4:70000", "1.2.3.4:"}) {
        EXPECT_FALSE(CSrvSettings::SplitEndpoint(bad, &addr, &port)) << bad;
    }
}

using SettingsLoadTest = srvtest::SrvTest;

TEST_F(SettingsLoadTest, DefaultsPointNowhere) {
    CSrvSettings s;
    s.Load();
    EXPECT_FALSE(s.HttpEnabled());
    EXPECT_FALSE(s.DatagramEnabled());
    EXPECT_EQ(s.Url(), "");
    EXPECT_EQ(s.Port(), 82);
    EXPECT_EQ(s.TimeoutMs(), 5000);
}

TEST_F(SettingsLoadTest, RegistryValuesAndEnvironmentOverrides) {
    CKivReg reg;
    reg.SetRegPath(KIV_REG_CURRENT_USER, KIV_SRV_REG_FIRST, KIV_SRV_REG_SECOND);
    auto put = [&](const char* name, const std::string& v) {
        ASSERT_EQ(reg.WriteData2Reg(KIV_SRV_REG_SETTINGS, name, v.data(), static_cast<uint32_t>(v.size())), KIV_OK);
    };
    put("Host", "stats.example.com\n");
    put("Port", "8080");
    put("Https", "1");
    put("TimeoutMs", "2500");
    CSrvSettings s;
    s.Load();
    EXPECT_EQ(s.Url(), "https://stats.example.com:8080/StatisticAction?method=add");
    EXPECT_EQ(s.TimeoutMs(), 2500);

    ::setenv("UNDELIA_STATS_HOST", "", 1);  // set but empty: reporting off, whatever the registry says
    s.Load();
    EXPECT_FALSE(s.HttpEnabled());

    ::setenv("UNDELIA_STATS_HOST", "127.0.0.1", 1);
    ::setenv("UNDELIA_STATS_PORT", "0", 1);  // unusable: off rather than a guessed port
    s.Load();
    EXPECT_FALSE(s.HttpEnabled());
    ::setenv("UNDELIA_STATS_PORT", "81", 1);
    ::setenv("UNDELIA_STATS_PATH", "/p q", 1);
    s.Load();
    EXPECT_FALSE(s.HttpEnabled());
    ::setenv("UNDELIA_STATS_PATH", "/add", 1);
    ::setenv("UNDELIA_STATS_TIMEOUT_MS", "5", 1);
    s.Load();
    EXPECT_EQ(s.Url(), "https://127.0.0.1:81/add");
    EXPECT_EQ(s.TimeoutMs(), 5000);

    ::setenv("UNDELIA_STATS_DGRAM_TARGET", "127.0.0.1:9", 1);
    ::setenv("UNDELIA_STATS_DGRAM_BIND", "nonsense", 1);  // never sent from another address
    s.Load();
    EXPECT_FALSE(s.DatagramEnabled());
    ::setenv("UNDELIA_STATS_DGRAM_BIND", "127.0.0.1:0", 1);
    s.Load();
    EXPECT_TRUE(s.DatagramEnabled());
}

}  // namespace
