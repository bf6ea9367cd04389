// Windows back end of the HTTP POST: WinINet, with the preconfigured proxy setting.
#include "platform/KivHttpPost.h"

#include "KivWin32.h"
#include "platform/KivText.h"

#include <wininet.h>

namespace {
HINTERNET I(void* p) { return static_cast<HINTERNET>(p); }
constexpr DWORD kChunk = 40480;  // read in pieces of this size
}  // namespace

CKivHttpPost::~CKivHttpPost() { Close(); }

size_t CKivHttpPost::OnData(char*, size_t, size_t, void*) { return 0; }

bool CKivHttpPost::Open(const KivHttpTarget& target, const std::vector<std::string>& headers) {
    Close();
    if (target.strHost.empty()) return false;
    std::string host = target.strHost;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    HINTERNET hSession = InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!hSession) return false;
    m_pSession = hSession;
    DWORD ms = static_cast<DWORD>(target.nTimeoutMs);
    for (DWORD opt : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(hSession, opt, &ms, sizeof ms);
    HINTERNET hConnect = InternetConnectW(hSession, KivUtf8ToWide(host).c_str(), target.nPort, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0);
    if (!hConnect) {
        Close();
        return false;
    }
    m_pConnect = hConnect;
    DWORD flags = INTERNET_FLAG_MAKE_PERSISTENT | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | (target.bSecure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET hRequest = HttpOpenRequestW(hConnect, L"POST", KivUtf8ToWide(target.strPath).c_str(), L"HTTP/1.0",
                                          nullptr, nullptr, flags, 0);
    if (!hRequest) {
        Close();
        return false;
    }
    m_pRequest = hRequest;
    for (const std::string& h : headers) {
        std::wstring w = KivUtf8ToWide(h);
        if (!HttpAddRequestHeadersW(hRequest, w.c_str(), static_cast<DWORD>(w.size()),
                                    HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
            Close();
            return false;
        }
    }
    m_target = target;
    return true;
}

bool CKivHttpPost::Post(const std::string& body, size_t nMaxResponse, long* pnStatus, std::string* pResponse,
                        std::string* pWhy) {
    *pnStatus = 0;
    pResponse->clear();
    if (!m_pRequest) return false;
    if (!HttpSendRequestW(I(m_pRequest), nullptr, 0, const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
        if (pWhy) *pWhy = "HttpSendRequestW failed with error " + std::to_string(GetLastError());
        return false;
    }
    DWORD status = 0, len = sizeof status;
    if (HttpQueryInfoW(I(m_pRequest), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len, nullptr))
        *pnStatus = static_cast<long>(status);
    std::string buf(kChunk, '\0');
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(I(m_pRequest), buf.data(), kChunk, &got) || got == 0) break;
        if (got > nMaxResponse - pResponse->size()) break;  // enough of it
        pResponse->append(buf.data(), got);
    }
    return true;
}

void CKivHttpPost::Close() {
    if (m_pRequest) InternetCloseHandle(I(m_pRequest));
    if (m_pConnect) InternetCloseHandle(I(m_pConnect));
    if (m_pSession) InternetCloseHandle(I(m_pSession));
    m_pRequest = m_pConnect = m_pSession = nullptr;
}
