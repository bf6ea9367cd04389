// The HTTP transport over libcurl.
#pragma once

#include <string>

#include "ITcpDriver.h"

struct curl_slist;

class CSystemTcp : public ITcpDriver {
public:
    // The most of an answer copied to the standard output stream.
    static constexpr size_t kMaxResponseBytes = 64u << 10;

    CSystemTcp() = default;
    ~CSystemTcp() override;
    CSystemTcp(const CSystemTcp&) = delete;
    CSystemTcp& operator=(const CSystemTcp&) = delete;

    bool Open(const CSrvSettings& settings) override;
    bool Send(const std::string& body) override;
    void Close() override;

private:
    static size_t OnResponse(char* pData, size_t nSize, size_t nCount, void* pUser);

    void* m_pCurl = nullptr;
    curl_slist* m_pHeaders = nullptr;
    std::string m_response;
    bool m_bCapped = false;
};
