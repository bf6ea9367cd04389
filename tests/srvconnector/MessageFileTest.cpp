// "SeverConn.xml": kept messages survive, hostile files are set aside and replaced without
// crashing or holding the caller, and two writers never lose each other's messages.
#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "ServerCache.h"
#include "SrvTestKit.h"

namespace {

using Clock = CServerCache::Clock;
using MessageFileTest = srvtest::SrvTest;

Clock::time_point Soon() { return Clock::now() + std::chrono::seconds(2); }

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

size_t CountMessages(const std::string& path) {
    TiXmlDocument doc;
    std::vector<KivSrvMessage> msgs;
    EXPECT_TRUE(CServerCache::ParseMessageFile(ReadAll(path), &doc, &msgs)) << ReadAll(path).substr(0, 200);
    return msgs.size();
}

std::string Repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

TEST_F(MessageFileTest, NewFileHasTheDeclarationAndAnEmptyRoot) {
    CServerCache cache;
    ASSERT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon()));
    EXPECT_TRUE(cache.Messages().empty());
    std::string text = ReadAll(File("SeverConn.xml"));
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" ?>", 0), 0u) << text;
    EXPECT_NE(text.find("<MESSAGES />"), std::string::npos) << text;
}

// Texts with markup, quotes, control characters and UTF-8 come back exactly; numbers too.
TEST_F(MessageFileTest, KeptMessagesComeBackWithTypesAndValues) {
    const char* texts[] = {"a&b=c", "<MESSAGE TYPE=\"1\"/>", "'\"\t\r\n\x01", "\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", ""};
    {
        CServerCache cache;
        ASSERT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon()));
        int type = 100;
        for (const char* t : texts) EXPECT_TRUE(cache.Keep(KivMakeTextMessage(type++, t), Soon()));
        EXPECT_TRUE(cache.Keep(KivMakeNumberMessage(-5, INT32_MIN), Soon()));
        EXPECT_EQ(cache.Messages().size(), 6u);
    }
    CServerCache again;
    ASSERT_TRUE(again.OpenMessageFile(File("SeverConn.xml"), Soon()));
    const auto& m = again.Messages();
    ASSERT_EQ(m.size(), 6u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(m[i].nType, static_cast<int32_t>(100 + i));
        EXPECT_EQ(m[i].bIsString, 1);
        EXPECT_EQ(std::string(m[i].szText), texts[i]) << i;
    }
    EXPECT_EQ(m[5].nType, -5);
    EXPECT_EQ(m[5].bIsString, 0);
    EXPECT_EQ(m[5].nValue, INT32_MIN);
}

// Two connectors (or processes) in one folder: each write merges with what is on disk.
TEST_F(MessageFileTest, TwoWritersLoseNothing) {
    CServerCache a, b;
    ASSERT_TRUE(a.OpenMessageFile("SeverConn.xml", Soon()));
    ASSERT_TRUE(b.OpenMessageFile("SeverConn.xml", Soon()));
    EXPECT_TRUE(a.Keep(KivMakeNumberMessage(1, 1), Soon()));
    EXPECT_TRUE(b.Keep(KivMakeNumberMessage(2, 2), Soon()));
    EXPECT_TRUE(a.Keep(KivMakeNumberMessage(3, 3), Soon()));
    EXPECT_EQ(CountMessages(File("SeverConn.xml")), 3u);
    EXPECT_EQ(a.Messages().size(), 3u);
}

// Entries with unusable attributes are not listed, but stay in the file untouched.
TEST_F(MessageFileTest, UnusableEntriesAreSkippedAndKept) {
    WriteAll(File("SeverConn.xml"),
             "<?xml version=\"1.0\" ?>\n<MESSAGES>\n"
             "<MESSAGE TYPE=\"x\" IsString=\"0\" VALUE=\"1\" />\n"
             "<MESSAGE TYPE=\"1\" IsString=\"2\" VALUE=\"1\" />\n"
             "<MESSAGE TYPE=\"2\" IsString=\"0\" VALUE=\"99999999999\" />\n"
             "<MESSAGE TYPE=\"3\" IsString=\"0\" />\n"
             "<MESSAGE TYPE=\"4\" IsString=\"0\" VALUE=\"-7\" />\n"
             "<OTHER />\n"
             "<MESSAGE TYPE=\"5\" IsString=\"1\" VALUE=\"&lol; &#x41;&amp;\" />\n"
             "</MESSAGES>\n");
    CServerCache cache;
    ASSERT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon()));
    ASSERT_EQ(cache.Messages().size(), 2u);
    EXPECT_EQ(cache.Messages()[0].nValue, -7);
    // Nothing is expanded: the parser drops the "&" of an undeclared entity and keeps the rest as
    // text; character references and the predefined entities are decoded.
    EXPECT_EQ(std::string(cache.Messages()[1].szText), "lol; A&");
    EXPECT_TRUE(cache.Keep(KivMakeNumberMessage(6, 6), Soon()));
    std::string text = ReadAll(File("SeverConn.xml"));
    EXPECT_NE(text.find("TYPE=\"x\""), std::string::npos);
    EXPECT_NE(text.find("<OTHER />"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(File("SeverConn.xml.bad")));
}

struct BadFile {
    const char* name;
    std::string text;
};

std::vector<BadFile> BadFiles() {
    const std::string good =
        "<?xml version=\"1.0\" ?>\n<MESSAGES>\n<MESSAGE TYPE=\"1\" IsString=\"0\" VALUE=\"1\" />\n</MESSAGES>\n";
    const std::string laughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n"
        "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
        "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n]>\n"
        "<MESSAGES><MESSAGE TYPE=\"1\" IsString=\"1\" VALUE=\"&lol3;\" /></MESSAGES>\n";
    const std::string external =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE m [<!ENTITY xxe SYSTEM \"file:///etc/passwd\">]>\n"
        "<MESSAGES><MESSAGE TYPE=\"1\" IsString=\"1\" VALUE=\"&xxe;\" /></MESSAGES>\n";
    return {
        {"truncated", good.substr(0, good.size() / 2)},
        {"garbage", "\x89PNG\r\n\x1a\n not xml at all"},
        {"foreign root", "<?xml version=\"1.0\" ?><CONFIG />"},
        {"two roots", "<MESSAGES /><MESSAGES />"},
        {"unclosed quote", "<MESSAGES><MESSAGE TYPE=\"1 /></MESSAGES>"},
        {"quote inside a name", "<MESSAGES><MESSAGE T\"YPE=\"1\" /></MESSAGES>"},
        {"entity expansion", laughs},
        {"external entity", external},
        {"cdata", "<MESSAGES><![CDATA[<MESSAGE/>]]></MESSAGES>"},
        {"nul byte", std::string("<MESSAGES>\0</MESSAGES>", 22)},
        {"deep nesting", "<MESSAGES>" + Repeat("<a>", 200000)},
        {"quoted tags that hide depth", "<MESSAGES>" + Repeat("<a x=\"</</</\">", 50000)},
        {"too many entries", "<MESSAGES>" + Repeat("<MESSAGE TYPE=\"1\" IsString=\"0\" VALUE=\"1\"/>", 1100) +
                                 "</MESSAGES>"},
    };
}

// Every hostile file is renamed aside with its contents and replaced by an empty, valid one.
TEST_F(MessageFileTest, HostileFilesAreSetAsideAndReplaced) {
    for (const auto& bad : BadFiles()) {
        std::filesystem::remove(File("SeverConn.xml.bad"));
        WriteAll(File("SeverConn.xml"), bad.text);
        auto t0 = Clock::now();
        CServerCache cache;
        EXPECT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon())) << bad.name;
        EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2)) << bad.name;
        EXPECT_TRUE(cache.Messages().empty()) << bad.name;
        EXPECT_EQ(ReadAll(File("SeverConn.xml.bad")), bad.text) << bad.name;
        EXPECT_EQ(CountMessages(File("SeverConn.xml")), 0u) << bad.name;
    }
}

// Huge files are never read, and a FIFO or a folder in the file's place never blocks.
TEST_F(MessageFileTest, HugeFilesFifosAndFoldersAreSetAside) {
    {
        int fd = ::open(File("SeverConn.xml").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 100 << 20), 0);  // 100 MiB, sparse
        ::close(fd);
        CServerCache cache;
        EXPECT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon()));
        EXPECT_EQ(std::filesystem::file_size(File("SeverConn.xml.bad")), 100u << 20);
        EXPECT_EQ(CountMessages(File("SeverConn.xml")), 0u);
    }
    std::filesystem::remove(File("SeverConn.xml"));
    std::filesystem::remove(File("SeverConn.xml.bad"));
    ASSERT_EQ(::mkfifo(File("SeverConn.xml").c_str(), 0600), 0);
    {
        CServerCache cache;
        EXPECT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon()));
        EXPECT_TRUE(std::filesystem::is_fifo(File("SeverConn.xml.bad")));
        EXPECT_EQ(CountMessages(File("SeverConn.xml")), 0u);
    }
    std::filesystem::remove(File("SeverConn.xml"));
    std::filesystem::remove(File("SeverConn.xml.bad"));
    std::filesystem::create_directory(File("SeverConn.xml"));
    {
        CServerCache cache;
        EXPECT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon()));
        EXPECT_TRUE(std::filesystem::is_directory(File("SeverConn.xml.bad")));
        EXPECT_TRUE(std::filesystem::is_regular_file(File("SeverConn.xml")));
    }
}

// A full file stays a file we can read: further messages are dropped (and logged).
TEST_F(MessageFileTest, FullFileDropsFurtherMessages) {
    std::string text = "<?xml version=\"1.0\" ?>\n<MESSAGES>\n";
    for (size_t i = 0; i < CServerCache::kMaxMessages; ++i) {
        text += "<MESSAGE TYPE=\"" + std::to_string(i) + "\" IsString=\"1\" VALUE=\"" + Repeat("&quot;", 255) + "\" />\n";
    }
    text += "</MESSAGES>\n";
    ASSERT_LE(text.size(), CServerCache::kMaxFileBytes);  // the most our writer can make still loads
    WriteAll(File("SeverConn.xml"), text);
    CServerCache cache;
    ASSERT_TRUE(cache.OpenMessageFile("SeverConn.xml", Soon()));
    EXPECT_EQ(cache.Messages().size(), CServerCache::kMaxMessages);
    EXPECT_EQ(std::string(cache.Messages()[0].szText), std::string(255, '"'));
    cache.Keep(KivMakeNumberMessage(1, 1), Soon());
    EXPECT_EQ(CountMessages(File("SeverConn.xml")), CServerCache::kMaxMessages);
    EXPECT_FALSE(std::filesystem::exists(File("SeverConn.xml.bad")));
}

// Through the library: a connector meets a hostile file at construction and goes on working.
TEST_F(MessageFileTest, ConnectorReplacesAHostileFileAndKeepsWorking) {
    WriteAll(File("SeverConn.xml"), "<MESSAGES>" + Repeat("<a>", 100000));
    srvtest::LoopbackService service(500);
    UseService(service.Port());
    IKivSrvConnector* c = CreateReporter();
    ASSERT_NE(c, nullptr);
    KivSrvMessage m = KivMakeNumberMessage(4, 4);
    EXPECT_FALSE(c->Send(&m));
    c->Release();
    EXPECT_TRUE(std::filesystem::exists(File("SeverConn.xml.bad")));
    EXPECT_EQ(CountMessages(File("SeverConn.xml")), 1u);
}

}  // namespace
