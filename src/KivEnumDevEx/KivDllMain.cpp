// Factory of this library. It serves no interface yet: every name answers 0 and a null object.
#include "KivCommon.h"
#include "KivLog.h"

KIV_EXPORT KivResult KivDllQueryInterface(const char* pszName, IKivCommon** ppOut) {
    if (!ppOut) return KIV_RETERR(KIV_E_INVALIDARG);
    (void)pszName;
    *ppOut = nullptr;
    return KIV_OK;
}
