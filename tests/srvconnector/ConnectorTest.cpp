// The library as the setup tooling and the program call it, against services on loopback.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <tinyxml.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ServerCache.h"
#include "SrvTestKit.h"
#include "KivNeedTool.h"

namespace {

using srvtest::Lib;
using srvtest::LoopbackService;
using ConnectorTest = srvtest::SrvTest;
using Clock = std::chrono::steady_clock;

constexpr const char* kGuid = "{00000001-0002-0003-0405-060708090A0B}";

// The kept messages of the file in the current folder, as a new cache reads them.
std::vector<KivSrvMessage> KeptMessages() {
    CServerCache cache;
    EXPECT_TRUE(cache.OpenMessageFile(CServerCache::kFileName, Clock::now() + std::chrono::seconds(2)));
    return cache.Messages();
}

std::string Header(const srvtest::Request& r, const char* key) {
    auto it = r.headers.find(key);
    return it == r.headers.end() ? std::string("<none>") : it->second;
}

std::string Param(const srvtest::Request& r, const char* key) {
    auto it = r.params.find(key);
    return it == r.params.end() ? std::string("<none>") : it->second;
}

TEST_F(ConnectorTest, FactoryServesBothNamesAndRefusesNullOut) {
    IKivCommon* p = nullptr;
    EXPECT_EQ(Lib().pfnQuery("ikivsrvconnector", &p), KIV_OK);
    auto* c = dynamic_cast<IKivSrvConnector*>(p);
    ASSERT_NE(c, nullptr);
    EXPECT_FALSE(c->IsConnected());  // handed out unopened
    c->Release();
    EXPECT_EQ(Lib().pfnQuery("IKIVSRVCONNECTFACTORY", &p), KIV_OK);
    ASSERT_NE(dynamic_cast<IKivSrvConnectFactory*>(p), nullptr);
    KivResult r = dynamic_cast<IKivSrvConnectFactory*>(p)->CreateKivSrvConnector(nullptr, 1);
    EXPECT_EQ(KivErrNo(r), KIV_E_INVALIDARG);
    p->Release();
    EXPECT_EQ(Lib().pfnQuery("IKivSrvConnectorX", &p), KIV_OK);
    EXPECT_EQ(p, nullptr);
    r = Lib().pfnQuery("IKivSrvConnector", nullptr);
    EXPECT_EQ(KivErrNo(r), KIV_E_INVALIDARG);
    EXPECT_EQ(KivModuleOf(r), 0x17u);
}

// The request line, the headers and the exact body of both message kinds.
TEST_F(ConnectorTest, PostsTheFormBodyOfEachMessageKind) {
    LoopbackService service;
    UseService(service.Port());
    IKivSrvConnector* c = Create(KIV_SRVCONN_HTTP);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->IsConnected());
    KivProductBaseInfo info = srvtest::ExampleBaseInfo();
    ASSERT_EQ(KivErrNo(c->SetBaseInfo(&info)), 0u);
    KivSrvMessage num = KivMakeNumberMessage(7, 12);
    KivSrvMessage text = KivMakeTextMessage(8, "a&b=c d");
    EXPECT_TRUE(c->Send(&num));
    EXPECT_TRUE(c->Send(&text));
    c->Release();

    auto reqs = service.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    for (const auto& r : reqs) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.target, "/StatisticAction?method=add");
        EXPECT_EQ(r.version, "HTTP/1.0");
        EXPECT_EQ(Header(r, "Content-Type"), "application/x-www-form-urlencoded; charset=UTF-8");
        EXPECT_EQ(Header(r, "X-Requested-With"), "XMLHttpRequest");
        EXPECT_EQ(Header(r, "Accept"), "application/json, text/javascript, */*");
        EXPECT_EQ(Header(r, "User-Agent").rfind("Mozilla/5.0 (", 0), 0u);
    }
    EXPECT_EQ(reqs[0].body, std::string("guid=") + kGuid +
                                "&productId=3&edit=1&vermajor=2&verminor=5&isString=0&val=12&type=7");
    EXPECT_EQ(reqs[1].body, std::string("guid=") + kGuid +
                                "&productId=3&edit=1&vermajor=2&verminor=5&isString=1&val=a%26b%3Dc%20d&type=8");
    // The service's own form decoding sees one field with the whole text.
    EXPECT_EQ(Param(reqs[1], "val"), "a&b=c d");
    EXPECT_EQ(Param(reqs[1], "type"), "8");
    EXPECT_EQ(reqs[1].params.count("b"), 0u);
    EXPECT_TRUE(KeptMessages().empty());
}

// First report stores a GUID; the same data again writes nothing; a new version keeps the GUID.
TEST_F(ConnectorTest, SetupReportKeepsTheInstallationGuid) {
    LoopbackService service;
    UseService(service.Port());
    ASSERT_EQ(Lib().pfnSetup(3, 1, 2, 5), 1);
    struct stat first{};
    ASSERT_EQ(::stat(RegistryValue().c_str(), &first), 0);
    EXPECT_EQ(first.st_size, 32);
    ASSERT_EQ(Lib().pfnSetup(3, 1, 2, 5), 1);
    struct stat second{};
    ASSERT_EQ(::stat(RegistryValue().c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);  // values are replaced by rename, so a write shows here
    EXPECT_EQ(first.st_mtim.tv_nsec, second.st_mtim.tv_nsec);
    ASSERT_EQ(Lib().pfnSetup(3, 1, 2, 6), 1);

    auto reqs = service.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    std::string guid = Param(reqs[0], "guid");
    EXPECT_EQ(guid.size(), 38u);
    EXPECT_NE(guid, "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(guid[15], '4');  // a version 4 GUID
    for (const auto& r : reqs) {
        EXPECT_EQ(Param(r, "guid"), guid);
        EXPECT_EQ(Param(r, "isString"), "0");
        long type = std::stol(Param(r, "type"));
        EXPECT_EQ(Param(r, "val"), Param(r, "type"));
        EXPECT_GE(type, 0xF00000);
        EXPECT_LE(type, 0xFFFFFE);
    }
    EXPECT_EQ(Param(reqs[2], "verminor"), "6");

    IKivSrvConnector* c = Create(KIV_SRVCONN_HTTP);
    ASSERT_NE(c, nullptr);
    KivProductBaseInfo info{};
    ASSERT_EQ(KivErrNo(c->GetBaseInfo(&info)), 0u);
    EXPECT_EQ(info.nVerMinor, 6);
    EXPECT_EQ(info.nProductId, 3);
    EXPECT_EQ(KivErrNo(c->SetBaseInfo(nullptr)), KIV_E_INVALIDARG);
    c->Release();
}

// A stored value of the wrong size is not believed: a fresh identity replaces it.
TEST_F(ConnectorTest, DamagedBaseInfoIsReplaced) {
    LoopbackService service;
    UseService(service.Port());
    std::filesystem::create_directories(std::filesystem::path(RegistryValue()).parent_path());
    std::ofstream(RegistryValue(), std::ios::binary) << "short";
    ASSERT_EQ(Lib().pfnSetup(1, 1, 1, 1), 1);
    EXPECT_EQ(std::filesystem::file_size(RegistryValue()), 32u);
}

// Messages the service did not take are kept with their types, across connectors.
TEST_F(ConnectorTest, ServiceDownKeepsMessagesForTheNextConnector) {
    UseService(srvtest::ClosedPort(), 2000);
    IKivSrvConnector* c = CreateReporter();
    ASSERT_NE(c, nullptr);
    KivSrvMessage a = KivMakeNumberMessage(5, 55);
    KivSrvMessage b = KivMakeTextMessage(6, "x&y");
    EXPECT_FALSE(c->Send(&a));
    EXPECT_FALSE(c->Send(&b));
    c->Release();

    // A connector that comes and goes loses nothing.
    IKivSrvConnector* d = Create(KIV_SRVCONN_HTTP);
    ASSERT_NE(d, nullptr);
    d->Release();
    auto kept = KeptMessages();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].nType, 5);
    EXPECT_EQ(kept[0].bIsString, 0);
    EXPECT_EQ(kept[0].nValue, 55);
    EXPECT_EQ(kept[1].nType, 6);
    EXPECT_EQ(kept[1].bIsString, 1);
    EXPECT_EQ(std::string(kept[1].szText), "x&y");

    EXPECT_EQ(Lib().pfnSetup(3, 1, 2, 5), 0);
    kept = KeptMessages();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[2].nType, kept[2].nValue);
}

// An error answer is not a delivery, and neither is a redirect (which is never followed).
TEST_F(ConnectorTest, ErrorAnswersAndRedirectsAreNotDeliveries) {
    LoopbackService elsewhere;
    LoopbackService failing(500);
    LoopbackService moving(302);
    moving.RedirectTo("http://127.0.0.1:" + std::to_string(elsewhere.Port()) + "/StatisticAction?method=add");
    int type = 1;
    for (LoopbackService* s : {&failing, &moving}) {
        UseService(s->Port());
        IKivSrvConnector* c = CreateReporter();
        ASSERT_NE(c, nullptr);
        KivSrvMessage m = KivMakeNumberMessage(type++, 0);
        EXPECT_FALSE(c->Send(&m));
        c->Release();
        EXPECT_EQ(s->Requests().size(), 1u);
    }
    EXPECT_TRUE(elsewhere.Requests().empty());
    EXPECT_EQ(KeptMessages().size(), 2u);
}

// A service that takes the connection and never answers costs the time-out, not more.
TEST_F(ConnectorTest, SilentServiceTimesOut) {
    int port = 0;
    int fd = srvtest::BindLoopback(SOCK_STREAM, &port);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::listen(fd, 4), 0);  // the kernel completes the handshake; nobody reads
    UseService(port, 300);

    IKivSrvConnector* c = CreateReporter();
    ASSERT_NE(c, nullptr);
    KivSrvMessage m = KivMakeNumberMessage(9, 9);
    auto t0 = Clock::now();
    EXPECT_FALSE(c->Send(&m));
    auto took = Clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(3));
    c->Release();
    ::close(fd);
    EXPECT_EQ(KeptMessages().size(), 1u);
}

// https verifies the service's certificate: a self-signed loopback service gets nothing.
TEST_F(ConnectorTest, HttpsRefusesAnUnverifiedService) {
    std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout '" +
                      File("key.pem") + "' -out '" + File("cert.pem") + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) KIV_SKIP_MISSING_TOOL("no openssl command to make a certificate");
    httplib::SSLServer server(File("cert.pem").c_str(), File("key.pem").c_str());
    ASSERT_TRUE(server.is_valid());
    int requests = 0;
    server.Post(".*", [&](const httplib::Request&, httplib::Response& res) {
        ++requests;
        res.set_content("{}", "application/json");
    });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread t([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    UseService(port);
    ::setenv("UNDELIA_STATS_HTTPS", "1", 1);
    IKivSrvConnector* c = CreateReporter();
    ASSERT_NE(c, nullptr);
    KivSrvMessage m = KivMakeNumberMessage(3, 3);
    EXPECT_FALSE(c->Send(&m));
    c->Release();
    server.stop();
    t.join();
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(KeptMessages().size(), 1u);
}

TEST_F(ConnectorTest, DatagramProbeGoesToTheConfiguredTarget) {
    int port = 0;
    int rx = srvtest::BindLoopback(SOCK_DGRAM, &port);
    ASSERT_GE(rx, 0);
    ::setenv("UNDELIA_STATS_DGRAM_TARGET", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    ::setenv("UNDELIA_STATS_DGRAM_BIND", "127.0.0.1:0", 1);

    IKivSrvConnector* c = Create(KIV_SRVCONN_DATAGRAM);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->IsConnected());
    KivProductBaseInfo info = srvtest::ExampleBaseInfo();
    ASSERT_EQ(KivErrNo(c->SetBaseInfo(&info)), 0u);
    info.nGuidData1 = 99;  // the stored GUID stays, as with the HTTP connector
    info.nVerMinor = 7;
    ASSERT_EQ(KivErrNo(c->SetBaseInfo(&info)), 0u);
    KivProductBaseInfo back{};
    ASSERT_EQ(KivErrNo(c->GetBaseInfo(&back)), 0u);
    EXPECT_EQ(back.nGuidData1, 1u);
    EXPECT_EQ(back.nVerMinor, 7);

    KivSrvMessage m = KivMakeNumberMessage(1, 2);
    EXPECT_TRUE(c->Send(&m));
    pollfd p{rx, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    char buf[64];
    sockaddr_in from{};
    socklen_t fromLen = sizeof(from);
    ssize_t n = ::recvfrom(rx, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    ASSERT_EQ(n, 13);
    EXPECT_EQ(std::string(buf, 13), std::string("KivSrvProbe1", 13));
    EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    c->Release();
    ::close(rx);
    EXPECT_FALSE(std::filesystem::exists(File("SeverConn.xml")));  // the probe keeps nothing
}

// With the shipped defaults nothing is contacted, stored or kept. Sockets are counted in this
// process (Interpose.cpp); a loopback report first proves the counting works here.
TEST_F(ConnectorTest, UnconfiguredServiceOpensNoSocketAndKeepsNothing) {
    {
        LoopbackService service;
        UseService(service.Port());
        int s0 = srvtest::g_nSockets, c0 = srvtest::g_nConnects;
        ASSERT_EQ(Lib().pfnSetup(1, 1, 1, 1), 1);
        if (srvtest::g_nSockets == s0 || srvtest::g_nConnects == c0) {
            GTEST_SKIP() << "socket() and connect() cannot be counted in this build";
        }
    }
    std::filesystem::remove_all(m_dir + "/config");
    std::filesystem::remove(File("SeverConn.xml"));
    for (const char* v : {"UNDELIA_STATS_HOST", "UNDELIA_STATS_PORT", "UNDELIA_STATS_TIMEOUT_MS"}) ::unsetenv(v);

    int s0 = srvtest::g_nSockets, c0 = srvtest::g_nConnects;
    EXPECT_EQ(Lib().pfnSetup(3, 1, 2, 5), 0);
    KivResult r = 0;
    EXPECT_EQ(Create(KIV_SRVCONN_HTTP, &r), nullptr);
    EXPECT_EQ(KivErrNo(r), 0x009u);
    EXPECT_EQ(Create(KIV_SRVCONN_DATAGRAM, &r), nullptr);
    EXPECT_EQ(KivErrNo(r), 0x009u);
    IKivCommon* p = nullptr;
    ASSERT_EQ(Lib().pfnQuery("IKivSrvConnector", &p), KIV_OK);
    auto* c = dynamic_cast<IKivSrvConnector*>(p);
    ASSERT_NE(c, nullptr);
    EXPECT_FALSE(c->Connect());
    KivSrvMessage m = KivMakeNumberMessage(1, 1);
    EXPECT_FALSE(c->Send(&m));
    c->Release();

    EXPECT_EQ(srvtest::g_nSockets, s0);
    EXPECT_EQ(srvtest::g_nConnects, c0);
    EXPECT_FALSE(std::filesystem::exists(File("SeverConn.xml")));
    EXPECT_FALSE(std::filesystem::exists(RegistryValue()));
}

}  // namespace
