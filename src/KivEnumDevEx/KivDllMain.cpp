// Factory of the device library.
#include <new>

#include "CKivImageDev.h"
#include "KivCommon.h"
#include "KivLog.h"
#include "platform/KivIniFile.h"

KIV_EXPORT KivResult KivDllQueryInterface(const char* pszName, IKivCommon** ppOut) {
    if (!ppOut) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppOut = nullptr;
    if (pszName && KivIEquals(pszName, KIV_IID_IMAGEDEV)) *ppOut = new (std::nothrow) CKivImageDev();
    return KIV_OK;
}
