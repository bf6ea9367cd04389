// Factory of the device library.
#include <new>

#include "CKivEnumDevEx.h"
#include "CKivImageDev.h"
#include "CKivImageFormats.h"
#include "KivCommon.h"
#include "KivLog.h"
#include "platform/KivIniFile.h"

KIV_EXPORT KivResult KivDllQueryInterface(const char* pszName, IKivCommon** ppOut) {
    if (!ppOut) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppOut = nullptr;
    if (!pszName) return KIV_OK;
    try {
        if (KivIEquals(pszName, KIV_IID_IMAGEDEV)) *ppOut = new CKivImageDev();
        else if (KivIEquals(pszName, KIV_IID_ENUMDEVEX)) *ppOut = new CKivEnumDevEx();
        else if (KivIEquals(pszName, KIV_IID_IMAGEFORMATS)) *ppOut = new CKivImageFormats();
    } catch (...) {
        *ppOut = nullptr;
    }
    return KIV_OK;
}
