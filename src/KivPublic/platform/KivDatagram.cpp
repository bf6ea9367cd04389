// Linux back end of the datagram socket.
#include "platform/KivDatagram.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

bool Resolve(const std::string& addr, uint16_t port, sockaddr_storage* pOut, socklen_t* pLen) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (::getaddrinfo(addr.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return false;
    bool ok = res->ai_addrlen <= sizeof(*pOut);
    if (ok) {
        std::memcpy(pOut, res->ai_addr, res->ai_addrlen);
        *pLen = res->ai_addrlen;
    }
    ::freeaddrinfo(res);
    return ok;
}

}  // namespace

CKivDatagram::~CKivDatagram() { Close(); }

bool CKivDatagram::Open(const std::string& strTargetAddr, uint16_t nTargetPort, const std::string& strBindAddr,
                        uint16_t nBindPort) {
    Close();
    static_assert(sizeof(m_target) >= sizeof(sockaddr_storage));
    sockaddr_storage target{}, local{};
    socklen_t targetLen = 0, localLen = 0;
    if (!Resolve(strTargetAddr, nTargetPort, &target, &targetLen)) return false;
    bool bBind = !strBindAddr.empty();
    if (bBind && (!Resolve(strBindAddr, nBindPort, &local, &localLen) || local.ss_family != target.ss_family))
        return false;
    int fd = ::socket(target.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (bBind && ::bind(fd, reinterpret_cast<sockaddr*>(&local), localLen) != 0) {
        ::close(fd);
        return false;
    }
    std::memcpy(m_target, &target, targetLen);
    m_nTargetLen = targetLen;
    m_nSocket = static_cast<uint64_t>(fd);
    return true;
}

bool CKivDatagram::Send(const void* pData, size_t n) {
    if (!IsOpen()) return false;
    ssize_t sent = ::sendto(static_cast<int>(m_nSocket), pData, n, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(m_target),
                            m_nTargetLen);
    return sent == static_cast<ssize_t>(n);
}

void CKivDatagram::Close() {
    if (IsOpen()) ::close(static_cast<int>(m_nSocket));
    m_nSocket = kNone;
}
