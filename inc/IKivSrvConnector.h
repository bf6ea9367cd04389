// Contract of the statistics library KivSrvConnector: installation and usage events posted to the
// statistics service, with the installation's identity kept in the registry layer.
#pragma once

#include <cstdint>
#include <cstring>

#include "KivCommon.h"

// The installation's base information: the registry value "ProductBaseInfo" and the fields of
// every report. Stored as 32 bytes, little-endian, in this field order.
struct KivProductBaseInfo {
    uint32_t nGuidData1;     // installation GUID, Windows layout
    uint16_t nGuidData2;
    uint16_t nGuidData3;
    uint8_t aGuidData4[8];
    int32_t nProductId;
    int32_t nEdition;
    int32_t nVerMajor;
    int32_t nVerMinor;
};
static_assert(sizeof(KivProductBaseInfo) == 32);

// One event. A text is at most 255 bytes of UTF-8 (the most a report can carry), zero-terminated.
constexpr size_t KIV_SRV_TEXT_MAX = 255;
struct KivSrvMessage {
    int32_t nType;
    int32_t bIsString;  // 1: szText is the value; 0: nValue is
    int32_t nValue;
    char szText[KIV_SRV_TEXT_MAX + 1];
};

inline KivSrvMessage KivMakeNumberMessage(int32_t nType, int32_t nValue) {
    KivSrvMessage m{};
    m.nType = nType;
    m.nValue = nValue;
    return m;
}

// Texts longer than KIV_SRV_TEXT_MAX are cut before the character that would not fit.
inline KivSrvMessage KivMakeTextMessage(int32_t nType, const char* pszText) {
    KivSrvMessage m{};
    m.nType = nType;
    m.bIsString = 1;
    size_t n = pszText ? std::strlen(pszText) : 0;
    if (n > KIV_SRV_TEXT_MAX) {
        n = KIV_SRV_TEXT_MAX;
        while (n > 0 && (static_cast<unsigned char>(pszText[n]) & 0xC0) == 0x80) --n;
    }
    if (n) std::memcpy(m.szText, pszText, n);
    return m;
}

// Kinds of CreateKivSrvConnector.
enum : int32_t {
    KIV_SRVCONN_HTTP = 1,
    KIV_SRVCONN_DATAGRAM = 2,
};

// "IKivSrvConnector". Connect opens the transport; false when the service is not configured or
// cannot be opened. Send answers true only when the service took the report; the HTTP connector
// keeps a message it could not send in "SeverConn.xml".
class IKivSrvConnector : public IKivCommon {
public:
    virtual bool Connect() = 0;
    virtual bool IsConnected() = 0;
    virtual bool Send(const KivSrvMessage* pMsg) = 0;
    virtual KivResult SetBaseInfo(const KivProductBaseInfo* pInfo) = 0;
    virtual KivResult GetBaseInfo(KivProductBaseInfo* pInfo) = 0;
};

// "IKivSrvConnectFactory": makes an opened connector of a kind (2 datagram, anything else HTTP).
class IKivSrvConnectFactory : public IKivCommon {
public:
    virtual KivResult CreateKivSrvConnector(IKivSrvConnector** ppOut, int32_t nKind) = 0;
};

// The setup report export: 1 when the report was sent, else 0.
using PFN_SendSetupInfoToSrv = int (*)(int32_t nProductId, int32_t nEdition, int32_t nVerMajor, int32_t nVerMinor);
