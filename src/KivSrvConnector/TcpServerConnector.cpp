#include "TcpServerConnector.h"

#include <new>

#include "KivLog.h"
#include "SrvReportBody.h"
#include "SystemTcp.h"

namespace {
CServerCache::Clock::time_point DeadlineAfter(long ms) {
    return CServerCache::Clock::now() + std::chrono::milliseconds(ms);
}
}  // namespace

CTcpServerConnector::CTcpServerConnector(std::unique_ptr<ITcpDriver> pDriver) : m_pDriver(std::move(pDriver)) {
    if (!m_pDriver) m_pDriver = std::make_unique<CSystemTcp>();
    // Unconfigured, the connector touches no file: nothing can be sent, so nothing is kept.
    if (m_settings.HttpEnabled()) m_cache.OpenMessageFile(CServerCache::kFileName, DeadlineAfter(m_settings.TimeoutMs()));
}

CTcpServerConnector::~CTcpServerConnector() { m_pDriver->Close(); }

bool CTcpServerConnector::Connect() {
    try {
        if (!m_settings.HttpEnabled()) {
            KivLogA(0, "KivSrvConnector: no statistics host configured; nothing is reported");
            return false;
        }
        m_bOpen = m_pDriver->Open(m_settings);
        if (!m_bOpen) KIV_LOGERR(KIV_ERR(KIV_E_BIND));
        return m_bOpen;
    } catch (...) {
        return false;
    }
}

bool CTcpServerConnector::IsConnected() { return m_bOpen; }

bool CTcpServerConnector::Send(const KivSrvMessage* pMsg) {
    if (!pMsg || !m_settings.HttpEnabled()) return false;
    try {
        auto deadline = DeadlineAfter(m_settings.TimeoutMs());
        KivProductBaseInfo info{};
        if (m_bOpen && KivSucceeded(GetBaseInfo(&info)) && m_pDriver->Send(KivBuildReportBody(info, *pMsg))) {
            return true;
        }
        // Waits a little for the file even when the post used the whole time-out.
        auto floor = DeadlineAfter(100);
        m_cache.Keep(*pMsg, deadline < floor ? floor : deadline);
        return false;
    } catch (...) {
        return false;
    }
}
