// Exports of the statistics library: the factory and the one-call setup report.

#include "IKivSrvConnector.h"
#include "KivCommon.h"
#include "KivLog.h"
#include "KivSrvConnectFactory.h"
#include "TcpServerConnector.h"
#include "platform/KivRandom.h"
#include "platform/KivText.h"

KIV_EXPORT KivResult KivDllQueryInterface(const char* pszName, IKivCommon** ppOut) {
    if (!ppOut) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppOut = nullptr;
    if (!pszName) return KIV_OK;
    try {
        if (KivStrICmp(pszName, "IKivSrvConnector") == 0) {
            *ppOut = new CTcpServerConnector();
        } else if (KivStrICmp(pszName, "IKivSrvConnectFactory") == 0) {
            *ppOut = new CKivSrvConnectFactory();
        }
    } catch (...) {
        *ppOut = nullptr;
    }
    return KIV_OK;
}

KIV_EXPORT int SendSetupInfoToSrv(int32_t nProductId, int32_t nEdition, int32_t nVerMajor, int32_t nVerMinor) {
    CTcpServerConnector* p = nullptr;
    try {
        p = new CTcpServerConnector();
    } catch (...) {
        return 0;
    }
    int sent = 0;
    KivGuid guid{};
    uint32_t draw = 0;
    if (p->Connect() && p->IsConnected() && KivCreateGuid(&guid) && KivRandomBytes(&draw, sizeof(draw))) {
        KivProductBaseInfo info{};
        info.nGuidData1 = guid.Data1;
        info.nGuidData2 = guid.Data2;
        info.nGuidData3 = guid.Data3;
        for (int i = 0; i < 8; ++i) info.aGuidData4[i] = guid.Data4[i];
        info.nProductId = nProductId;
        info.nEdition = nEdition;
        info.nVerMajor = nVerMajor;
        info.nVerMinor = nVerMinor;
        if (KivSucceeded(p->SetBaseInfo(&info))) {
            // The setup message carries one random number as its type and its value.
            auto r = static_cast<int32_t>(0xF00000u + draw % 0xFFFFFu);
            KivSrvMessage msg = KivMakeNumberMessage(r, r);
            sent = p->Send(&msg) ? 1 : 0;
        }
    }
    p->Release();
    return sent;
}
