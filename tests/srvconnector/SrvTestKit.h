// Shared pieces of the statistics tests: a private home for settings, registry and message file,
// the library as the setup tooling loads it, and a loopback HTTP service that records requests.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "IKivSrvConnector.h"

namespace srvtest {

// Calls of socket() and connect() made anywhere in this process (see Interpose.cpp).
extern std::atomic<int> g_nSockets;
extern std::atomic<int> g_nConnects;

struct Request {
    std::string method, target, version, body;
    httplib::Headers headers;
    httplib::Params params;
};

// An HTTP service on 127.0.0.1 and an ephemeral port; answers every POST with the set status.
class LoopbackService {
public:
    explicit LoopbackService(int status = 200, std::string answer = "{\"ok\":1}") {
        m_server.Post(".*", [this, status, answer](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> g(m_mutex);
                m_requests.push_back({req.method, req.target, req.version, req.body, req.headers, req.params});
            }
            res.status = status;
            if (status >= 300 && status < 400) res.set_header("Location", m_redirect);
            res.set_content(answer, "application/json");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackService() {
        m_server.stop();
        m_thread.join();
    }
    int Port() const { return m_port; }
    void RedirectTo(const std::string& url) { m_redirect = url; }
    std::vector<Request> Requests() {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_requests;
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Request> m_requests;
    std::string m_redirect;
};

// The library as the setup tooling sees it: its two exports.
struct Library {
    void* h = nullptr;
    PFN_KivDllQueryInterface pfnQuery = nullptr;
    PFN_SendSetupInfoToSrv pfnSetup = nullptr;
    Library() {
        h = ::dlopen(KIV_BIN_DIR "/KivSrvConnector.so", RTLD_NOW | RTLD_LOCAL);
        if (!h) return;
        pfnQuery = reinterpret_cast<PFN_KivDllQueryInterface>(::dlsym(h, "KivDllQueryInterface"));
        pfnSetup = reinterpret_cast<PFN_SendSetupInfoToSrv>(::dlsym(h, "SendSetupInfoToSrv"));
    }
    // Kept loaded: objects of the library may still be released by the test body's end.
};

inline Library& Lib() {
    static Library lib;
    return lib;
}

// A socket of the type bound to 127.0.0.1 and an ephemeral port (fd, or -1).
inline int BindLoopback(int type, int* pPort) {
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    *pPort = ntohs(a.sin_port);
    return fd;
}

// A port on 127.0.0.1 that nothing listens on.
inline int ClosedPort() {
    int port = 0;
    ::close(BindLoopback(SOCK_STREAM, &port));
    return port;
}

// Base information with GUID {00000001-0002-0003-0405-060708090A0B}, product 3, edition 1, 2.5.
inline KivProductBaseInfo ExampleBaseInfo() {
    KivProductBaseInfo b{};
    b.nGuidData1 = 1;
    b.nGuidData2 = 2;
    b.nGuidData3 = 3;
    const uint8_t d4[8] = {4, 5, 6, 7, 8, 9, 0x0A, 0x0B};
    std::memcpy(b.aGuidData4, d4, 8);
    b.nProductId = 3;
    b.nEdition = 1;
    b.nVerMajor = 2;
    b.nVerMinor = 5;
    return b;
}

// Every test runs in its own folder, which is also the current directory ("SeverConn.xml"),
// the settings/registry home and the lock folder; the service is unset and proxies are off.
class SrvTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kivsrv-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        ASSERT_EQ(::getcwd(m_oldCwd, sizeof(m_oldCwd)), m_oldCwd);
        ASSERT_EQ(::chdir(m_dir.c_str()), 0);
        ::setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
        for (const char* v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
            ::unsetenv(v);
        }
        ::setenv("NO_PROXY", "*", 1);
        for (const char* v : {"UNDELIA_STATS_HOST", "UNDELIA_STATS_PORT", "UNDELIA_STATS_PATH", "UNDELIA_STATS_HTTPS",
                              "UNDELIA_STATS_TIMEOUT_MS", "UNDELIA_STATS_DGRAM_BIND", "UNDELIA_STATS_DGRAM_TARGET"}) {
            ::unsetenv(v);
        }
        ASSERT_NE(Lib().pfnQuery, nullptr) << ::dlerror();
        ASSERT_NE(Lib().pfnSetup, nullptr);
    }
    void TearDown() override {
        if (m_oldCwd[0]) ::chdir(m_oldCwd);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    void UseService(int port, long timeoutMs = 3000) {
        ::setenv("UNDELIA_STATS_HOST", "127.0.0.1", 1);
        ::setenv("UNDELIA_STATS_PORT", std::to_string(port).c_str(), 1);
        ::setenv("UNDELIA_STATS_TIMEOUT_MS", std::to_string(timeoutMs).c_str(), 1);
    }

    // An opened connector from the library's factory (null when it refused).
    IKivSrvConnector* Create(int32_t kind, KivResult* pCode = nullptr) {
        IKivCommon* p = nullptr;
        EXPECT_EQ(Lib().pfnQuery("IKivSrvConnectFactory", &p), KIV_OK);
        auto* f = dynamic_cast<IKivSrvConnectFactory*>(p);
        if (!f) return nullptr;
        IKivSrvConnector* c = nullptr;
        KivResult r = f->CreateKivSrvConnector(&c, kind);
        if (pCode) *pCode = r;
        f->Release();
        return c;
    }

    // An opened HTTP connector with the example identity stored.
    IKivSrvConnector* CreateReporter() {
        IKivSrvConnector* c = Create(KIV_SRVCONN_HTTP);
        KivProductBaseInfo info = ExampleBaseInfo();
        if (c) {
            EXPECT_EQ(KivErrNo(c->SetBaseInfo(&info)), 0u);
        }
        return c;
    }

    std::string File(const std::string& name) const { return m_dir + "/" + name; }
    std::string RegistryValue() const {
        return m_dir + "/config/undelia/registry/HKCU/Software/Tessmark/Tessmark Undelia/v_ProductBaseInfo";
    }

    std::string m_dir;
    char m_oldCwd[4096] = {};
};

}  // namespace srvtest
