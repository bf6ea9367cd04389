// The HTTP transport of the platform (libcurl on Linux, WinINet on Windows) for the connector.
#pragma once

#include <string>

#include "ITcpDriver.h"
#include "platform/KivHttpPost.h"

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
    CKivHttpPost m_http;
    bool m_bOpen = false;
};
