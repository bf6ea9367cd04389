// The datagram connector: a reachability probe that sends a fixed test text to the configured
// datagram target (the message itself is not sent, and nothing is kept).
#pragma once

#include "SrvConnectorBase.h"
#include "platform/KivDatagram.h"

class CUdpServerConnector : public CSrvConnectorBase {
public:
    static constexpr const char* kTestText = "KivSrvProbe1";  // 12 characters, sent with its terminator

    CUdpServerConnector();
    ~CUdpServerConnector() override;

    bool Connect() override;
    bool IsConnected() override;
    bool Send(const KivSrvMessage* pMsg) override;

private:
    CKivDatagram m_sock;
};
