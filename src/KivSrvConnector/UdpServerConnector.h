// The datagram connector: a reachability probe that sends a fixed test text to the configured
// datagram target (the message itself is not sent, and nothing is kept).
#pragma once

#include "IKivSrvConnector.h"
#include "ServerCache.h"
#include "SrvSettings.h"

class CUdpServerConnector : public IKivSrvConnector {
public:
    static constexpr const char* kTestText = "KivSrvProbe1";  // 12 characters, sent with its terminator

    CUdpServerConnector();
    ~CUdpServerConnector() override;

    bool Connect() override;
    bool IsConnected() override;
    bool Send(const KivSrvMessage* pMsg) override;
    KivResult SetBaseInfo(const KivProductBaseInfo* pInfo) override;
    KivResult GetBaseInfo(KivProductBaseInfo* pInfo) override;

private:
    CSrvSettings m_settings;
    CServerCache m_cache;
    int m_fd = -1;
};
