// HTTP POST of the platform: libcurl on Linux, WinINet on Windows. One request is set up by Open
// (target, headers, time-out) and posted by each Post; redirects are never followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct KivHttpTarget {
    bool bSecure = false;
    std::string strHost;
    uint16_t nPort = 80;
    std::string strPath = "/";  // with its query
    long nTimeoutMs = 5000;     // the whole request
};

class CKivHttpPost {
public:
    CKivHttpPost() = default;
    ~CKivHttpPost();
    CKivHttpPost(const CKivHttpPost&) = delete;
    CKivHttpPost& operator=(const CKivHttpPost&) = delete;

    bool Open(const KivHttpTarget& target, const std::vector<std::string>& headers);
    // Posts the body. True when an answer came (any status: *pnStatus tells); at most nMaxResponse
    // bytes of it are kept (a longer answer ends the transfer, still counting as answered).
    bool Post(const std::string& body, size_t nMaxResponse, long* pnStatus, std::string* pResponse, std::string* pWhy);
    void Close();

private:
    void* m_pSession = nullptr;  // curl easy handle, or the WinINet session
    void* m_pConnect = nullptr;  // curl header list, or the WinINet connection
    void* m_pRequest = nullptr;  // WinINet request
    std::string m_url;
    std::vector<std::string> m_headers;
    KivHttpTarget m_target;
    std::string m_response;
    size_t m_nMax = 0;
    bool m_bCapped = false;

    static size_t OnData(char* pData, size_t nSize, size_t nCount, void* pUser);
};
