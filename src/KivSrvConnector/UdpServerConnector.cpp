#include "UdpServerConnector.h"

#include <cstring>

#include "KivLog.h"

namespace {

static_assert(std::char_traits<char>::length(CUdpServerConnector::kTestText) == 12);

}  // namespace

CUdpServerConnector::CUdpServerConnector() = default;

CUdpServerConnector::~CUdpServerConnector() = default;

bool CUdpServerConnector::Connect() {
    if (m_sock.IsOpen()) return true;
    try {
        if (!m_settings.DatagramEnabled()) {
            KivLogA(0, "KivSrvConnector: no datagram target configured; nothing is sent");
            return false;
        }
        // Numeric addresses only: a setting never triggers a name lookup.
        std::string target, local;
        uint16_t nTarget = 0, nLocal = 0;
        bool bBind = !m_settings.DatagramBind().empty();
        if (!CSrvSettings::SplitEndpoint(m_settings.DatagramTarget(), &target, &nTarget) ||
            (bBind && !CSrvSettings::SplitEndpoint(m_settings.DatagramBind(), &local, &nLocal)) ||
            !m_sock.Open(target, nTarget, local, nLocal)) {
            KIV_LOGERR(KIV_ERR(KIV_E_BIND));
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool CUdpServerConnector::IsConnected() { return m_sock.IsOpen(); }

bool CUdpServerConnector::Send(const KivSrvMessage* pMsg) {
    if (!m_sock.IsOpen()) return false;
    try {
        const size_t n = std::char_traits<char>::length(kTestText) + 1;
        if (!m_sock.Send(kTestText, n)) {
            KIV_LOGERR(KIV_ERR(KIV_E_IO));
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}
