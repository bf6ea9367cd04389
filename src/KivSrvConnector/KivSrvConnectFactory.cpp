#include "KivSrvConnectFactory.h"

#include <new>

#include "KivLog.h"
#include "TcpServerConnector.h"
#include "UdpServerConnector.h"

namespace {
constexpr uint32_t kErrCannotOpen = 0x009;
}

KivResult CKivSrvConnectFactory::CreateKivSrvConnector(IKivSrvConnector** ppOut, int32_t nKind) {
    if (!ppOut) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppOut = nullptr;
    IKivSrvConnector* p = nullptr;
    try {
        if (nKind == KIV_SRVCONN_DATAGRAM) {
            p = new CUdpServerConnector();
        } else {
            p = new CTcpServerConnector();
        }
    } catch (...) {
        return KIV_RETERR(KIV_E_NOOBJ);
    }
    if (!p->Connect()) {
        p->Release();
        return KIV_RETERR(kErrCannotOpen);
    }
    *ppOut = p;
    return KIV_OK;
}
