// Factory of the scan engine library.

#include <new>

#include "CKivScanDev.h"
#include "KivCommon.h"
#include "KivLog.h"
#include "platform/KivText.h"

KIV_EXPORT KivResult KivDllQueryInterface(const char* pszName, IKivCommon** ppOut) {
    if (!ppOut) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppOut = nullptr;
    if (pszName && KivStrICmp(pszName, KIV_IID_SCANDEV) == 0) {
        try {
            *ppOut = new CKivScanDev;
        } catch (const std::exception& e) {
            KivLogA(0, "KivDllQueryInterface: %s", e.what());
        }
    }
    return KIV_OK;
}
