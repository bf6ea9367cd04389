#include "SystemTcp.h"

#include <curl/curl.h>

#include <cstdio>
#include <mutex>

#include "KivLog.h"
#include "SrvSettings.h"

namespace {

// Once per process, and never undone: the library stays loaded until the process ends.
bool GlobalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

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

size_t CSystemTcp::OnResponse(char* pData, size_t nSize, size_t nCount, void* pUser) {
    auto* self = static_cast<CSystemTcp*>(pUser);
    size_t n = nSize * nCount;
    if (n > kMaxResponseBytes - self->m_response.size()) {
        self->m_bCapped = true;
        return 0;  // enough of it: ends the transfer
    }
    self->m_response.append(pData, n);
    return n;
}

bool CSystemTcp::Open(const CSrvSettings& settings) {
    Close();
    std::string url = settings.Url();
    if (url.empty() || !GlobalInit()) return false;
    CURL* h = curl_easy_init();
    if (!h) return false;
    m_pCurl = h;
    for (const char* psz : kHeaders) {
        curl_slist* p = curl_slist_append(m_pHeaders, psz);
        if (!p) {
            Close();
            return false;
        }
        m_pHeaders = p;
    }
    long ms = settings.TimeoutMs();
    bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
              // Never follows a redirect: a report goes to the configured host or nowhere.
              curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0)) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_HTTPHEADER, m_pHeaders) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, ms) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, ms) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CSystemTcp::OnResponse) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_WRITEDATA, this) == CURLE_OK;
    if (!ok) {
        Close();
        return false;
    }
    return true;
}

bool CSystemTcp::Send(const std::string& body) {
    CURL* h = static_cast<CURL*>(m_pCurl);
    if (!h) return false;
    m_response.clear();
    m_bCapped = false;
    if (curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.c_str()) != CURLE_OK) {
        return false;
    }
    CURLcode rc = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    bool answered = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && m_bCapped);
    // Only a 2xx answer means the service took the report; a redirect is not followed.
    if (!answered || status < 200 || status > 299) {
        KivLogA(0, "KivSrvConnector: report not taken: %s, HTTP status %ld", curl_easy_strerror(rc), status);
        return false;
    }
    CopyToStdout(m_response);
    return true;
}

void CSystemTcp::Close() {
    if (m_pCurl) curl_easy_cleanup(static_cast<CURL*>(m_pCurl));
    m_pCurl = nullptr;
    if (m_pHeaders) curl_slist_free_all(m_pHeaders);
    m_pHeaders = nullptr;
    m_response.clear();
}
