#include "SystemTcp.h"

#include <cstdio>

#include "KivLog.h"
#include "SrvSettings.h"

namespace {

const char* const kHeaders[] = {
    "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; rv:33.0) Gecko/20100101 Firefox/33.0",
    "Accept: application/json, text/javascript, */*",
    "X-Requested-With: XMLHttpRequest",
    "Content-Type: application/x-www-form-urlencoded; charset=UTF-8",
    "Connection: keep-alive",
};

// The answer goes to a terminal or a setup log: no control characters from the network.
void CopyToStdout(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 && c != '\n' && c != '\r' && c != '\t') || u == 0x7F ? '?' : c;
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

CSystemTcp::~CSystemTcp() { Close(); }

bool CSystemTcp::Open(const CSrvSettings& settings) {
    Close();
    if (!settings.HttpEnabled()) return false;
    KivHttpTarget t;
    t.bSecure = settings.Secure();
    t.strHost = settings.Host();
    t.nPort = settings.Port();
    t.strPath = settings.Path();
    t.nTimeoutMs = settings.TimeoutMs();
    m_bOpen = m_http.Open(t, std::vector<std::string>(std::begin(kHeaders), std::end(kHeaders)));
    return m_bOpen;
}

bool CSystemTcp::Send(const std::string& body) {
    if (!m_bOpen) return false;
    long status = 0;
    std::string response, why;
    bool answered = m_http.Post(body, kMaxResponseBytes, &status, &response, &why);
    // Only a 2xx answer means the service took the report; a redirect is not followed.
    if (!answered || status < 200 || status > 299) {
        KivLogA(0, "KivSrvConnector: report not taken: %s, HTTP status %ld", answered ? "answered" : why.c_str(),
                status);
        return false;
    }
    CopyToStdout(response);
    return true;
}

void CSystemTcp::Close() {
    m_http.Close();
    m_bOpen = false;
}
