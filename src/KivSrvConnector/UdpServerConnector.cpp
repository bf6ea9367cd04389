#include "UdpServerConnector.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "KivLog.h"

namespace {

static_assert(std::char_traits<char>::length(CUdpServerConnector::kTestText) == 12);

// A numeric address only: a setting never triggers a name lookup.
bool Resolve(const std::string& endpoint, sockaddr_storage* pAddr, socklen_t* pLen) {
    std::string host;
    uint16_t port = 0;
    if (!CSrvSettings::SplitEndpoint(endpoint, &host, &port)) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return false;
    bool ok = res->ai_addrlen <= sizeof(*pAddr);
    if (ok) {
        std::memcpy(pAddr, res->ai_addr, res->ai_addrlen);
        *pLen = res->ai_addrlen;
    }
    ::freeaddrinfo(res);
    return ok;
}

}  // namespace

CUdpServerConnector::CUdpServerConnector() = default;

CUdpServerConnector::~CUdpServerConnector() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CUdpServerConnector::Connect() {
    if (m_fd >= 0) return true;
    try {
        if (!m_settings.DatagramEnabled()) {
            KivLogA(0, "KivSrvConnector: no datagram target configured; nothing is sent");
            return false;
        }
        sockaddr_storage target{}, local{};
        socklen_t targetLen = 0, localLen = 0;
        if (!Resolve(m_settings.DatagramTarget(), &target, &targetLen)) {
            KIV_LOGERR(KIV_ERR(KIV_E_BIND));
            return false;
        }
        bool bind = !m_settings.DatagramBind().empty();
        if (bind && (!Resolve(m_settings.DatagramBind(), &local, &localLen) || local.ss_family != target.ss_family)) {
            KIV_LOGERR(KIV_ERR(KIV_E_BIND));
            return false;
        }
        int fd = ::socket(target.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            KIV_LOGERR(KIV_ERR(KIV_E_BIND));
            return false;
        }
        if (bind && ::bind(fd, reinterpret_cast<sockaddr*>(&local), localLen) != 0) {
            ::close(fd);
            KIV_LOGERR(KIV_ERR(KIV_E_BIND));
            return false;
        }
        m_fd = fd;
        return true;
    } catch (...) {
        return false;
    }
}

bool CUdpServerConnector::IsConnected() { return m_fd >= 0; }

bool CUdpServerConnector::Send(const KivSrvMessage* pMsg) {
    if (m_fd < 0) return false;
    try {
        sockaddr_storage target{};
        socklen_t len = 0;
        if (!Resolve(m_settings.DatagramTarget(), &target, &len)) return false;
        const size_t n = std::char_traits<char>::length(kTestText) + 1;
        ssize_t sent = ::sendto(m_fd, kTestText, n, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&target), len);
        if (sent != static_cast<ssize_t>(n)) {
            KIV_LOGERR(KIV_ERR(KIV_E_IO));
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}
