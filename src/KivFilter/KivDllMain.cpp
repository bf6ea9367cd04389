// Factory of the file-type catalogue library.
#include <new>

#include "CKivFilter.h"
#include "KivCommon.h"
#include "KivLog.h"
#include "platform/KivIniFile.h"

KIV_EXPORT KivResult KivDllQueryInterface(const char* pszName, IKivCommon** ppOut) {
    if (!ppOut) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppOut = nullptr;
    if (pszName && KivIEquals(pszName, KIV_IID_FILTER)) *ppOut = new (std::nothrow) CKivFilter();
    return KIV_OK;
}
