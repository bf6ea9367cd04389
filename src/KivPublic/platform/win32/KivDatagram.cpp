// Windows back end of the datagram socket: Windows sockets 2.2.
#include "platform/KivDatagram.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace {

bool Resolve(const std::string& addr, uint16_t port, sockaddr_storage* pOut, int* pLen) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (getaddrinfo(addr.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return false;
    bool ok = res->ai_addrlen <= sizeof(*pOut);
    if (ok) {
        std::memcpy(pOut, res->ai_addr, res->ai_addrlen);
        *pLen = static_cast<int>(res->ai_addrlen);
    }
    freeaddrinfo(res);
    return ok;
}

}  // namespace

CKivDatagram::~CKivDatagram() { Close(); }

bool CKivDatagram::Open(const std::string& strTargetAddr, uint16_t nTargetPort, const std::string& strBindAddr,
                        uint16_t nBindPort) {
    Close();
    WSADATA wsa{};
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    m_bStarted = true;
    if (LOBYTE(wsa.wVersion) != 2 || HIBYTE(wsa.wVersion) != 2) {
        Close();
        return false;
    }
    sockaddr_storage target{}, local{};
    int targetLen = 0, localLen = 0;
    bool bBind = !strBindAddr.empty();
    if (!Resolve(strTargetAddr, nTargetPort, &target, &targetLen) ||
        (bBind && (!Resolve(strBindAddr, nBindPort, &local, &localLen) || local.ss_family != target.ss_family))) {
        Close();
        return false;
    }
    SOCKET s = socket(target.ss_family, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        Close();
        return false;
    }
    if (bBind && bind(s, reinterpret_cast<sockaddr*>(&local), localLen) != 0) {
        closesocket(s);
        Close();
        return false;
    }
    std::memcpy(m_target, &target, static_cast<size_t>(targetLen));
    m_nTargetLen = static_cast<uint32_t>(targetLen);
    m_nSocket = static_cast<uint64_t>(s);
    return true;
}

bool CKivDatagram::Send(const void* pData, size_t n) {
    if (!IsOpen()) return false;
    int sent = sendto(static_cast<SOCKET>(m_nSocket), static_cast<const char*>(pData), static_cast<int>(n), 0,
                      reinterpret_cast<const sockaddr*>(m_target), static_cast<int>(m_nTargetLen));
    return sent == static_cast<int>(n);
}

void CKivDatagram::Close() {
    if (IsOpen()) closesocket(static_cast<SOCKET>(m_nSocket));
    m_nSocket = kNone;
    if (m_bStarted) WSACleanup();
    m_bStarted = false;
}
