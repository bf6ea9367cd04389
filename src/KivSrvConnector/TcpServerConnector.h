// The HTTP connector: each message is one form-encoded POST with the installation's base
// information; messages the service did not take are kept in the message file.
#pragma once

#include <memory>

#include "ITcpDriver.h"
#include "SrvConnectorBase.h"

class CTcpServerConnector : public CSrvConnectorBase {
public:
    // Reads the settings; when a service is configured, loads (or creates) "SeverConn.xml" in the
    // current directory. The driver is the transport (libcurl when none is given).
    explicit CTcpServerConnector(std::unique_ptr<ITcpDriver> pDriver = nullptr);
    ~CTcpServerConnector() override;

    bool Connect() override;
    bool IsConnected() override;
    bool Send(const KivSrvMessage* pMsg) override;

private:
    std::unique_ptr<ITcpDriver> m_pDriver;
    bool m_bOpen = false;
};
