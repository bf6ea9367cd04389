// Linux back end of the HTTP POST: libcurl.
#include "platform/KivHttpPost.h"

#include <curl/curl.h>

#include <mutex>

namespace {

// Once per process, and never undone: the library stays loaded until the process ends.
bool GlobalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

}  // namespace

CKivHttpPost::~CKivHttpPost() { Close(); }

size_t CKivHttpPost::OnData(char* pData, size_t nSize, size_t nCount, void* pUser) {
    auto* self = static_cast<CKivHttpPost*>(pUser);
    size_t n = nSize * nCount;
    if (n > self->m_nMax - self->m_response.size()) {
        self->m_bCapped = true;
        return 0;  // enough of it: ends the transfer
    }
    self->m_response.append(pData, n);
    return n;
}

bool CKivHttpPost::Open(const KivHttpTarget& target, const std::vector<std::string>& headers) {
    Close();
    if (target.strHost.empty() || !GlobalInit()) return false;
    // An IPv6 host comes in brackets already.
    m_url = std::string(target.bSecure ? "https://" : "http://") + target.strHost + ":" + std::to_string(target.nPort) +
            target.strPath;
    CURL* h = curl_easy_init();
    if (!h) return false;
    m_pSession = h;
    curl_slist* pList = nullptr;
    for (const std::string& s : headers) {
        curl_slist* p = curl_slist_append(pList, s.c_str());
        if (!p) {
            m_pConnect = pList;
            Close();
            return false;
        }
        pList = p;
    }
    m_pConnect = pList;
    long ms = target.nTimeoutMs;
    bool ok = curl_easy_setopt(h, CURLOPT_URL, m_url.c_str()) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
              // Never follows a redirect: a report goes to the configured host or nowhere.
              curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0)) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_HTTPHEADER, pList) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, ms) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, ms) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CKivHttpPost::OnData) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_WRITEDATA, this) == CURLE_OK;
    if (!ok) {
        Close();
        return false;
    }
    m_target = target;
    return true;
}

bool CKivHttpPost::Post(const std::string& body, size_t nMaxResponse, long* pnStatus, std::string* pResponse,
                        std::string* pWhy) {
    CURL* h = static_cast<CURL*>(m_pSession);
    *pnStatus = 0;
    pResponse->clear();
    if (!h) return false;
    m_response.clear();
    m_nMax = nMaxResponse;
    m_bCapped = false;
    if (curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.c_str()) != CURLE_OK)
        return false;
    CURLcode rc = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, pnStatus);
    bool answered = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && m_bCapped);
    if (!answered && pWhy) *pWhy = curl_easy_strerror(rc);
    *pResponse = m_response;
    return answered;
}

void CKivHttpPost::Close() {
    if (m_pSession) curl_easy_cleanup(static_cast<CURL*>(m_pSession));
    m_pSession = nullptr;
    if (m_pConnect) curl_slist_free_all(static_cast<curl_slist*>(m_pConnect));
    m_pConnect = nullptr;
    m_response.clear();
}
