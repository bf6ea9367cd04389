// A datagram socket of the platform (BSD sockets on Linux, Windows sockets 2.2 on Windows), to
// numeric addresses only: nothing here looks a name up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CKivDatagram {
public:
    CKivDatagram() = default;
    ~CKivDatagram();
    CKivDatagram(const CKivDatagram&) = delete;
    CKivDatagram& operator=(const CKivDatagram&) = delete;

    // A socket for sending to the target address and port, bound to the bind address and port
    // when strBindAddr is not empty (it must be of the target's family). False when an address is
    // malformed or the system refuses.
    bool Open(const std::string& strTargetAddr, uint16_t nTargetPort, const std::string& strBindAddr,
              uint16_t nBindPort);
    bool IsOpen() const { return m_nSocket != kNone; }
    // Sends one datagram of n bytes to the target; true when all of it went.
    bool Send(const void* pData, size_t n);
    void Close();

private:
    static constexpr uint64_t kNone = ~0ull;
    uint64_t m_nSocket = kNone;
    unsigned char m_target[128] = {};  // the target's socket address
    uint32_t m_nTargetLen = 0;
    bool m_bStarted = false;  // Windows sockets started for this object
};
