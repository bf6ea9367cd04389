#include "CKivImageDev.h"

#include <new>

#include "CKivImageStor.h"
#include "KivLog.h"

KivResult CKivImageDev::OpenImage(const char* pszPath, uint32_t nSectorSize, IKivDevStor** ppStor) {
    if (!ppStor) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppStor = nullptr;
    try {
        auto* p = new CKivImageStor();
        KivResult r = p->OpenPath(pszPath, nSectorSize);
        if (KivFailed(r)) {
            p->Release();
            return r;
        }
        *ppStor = p;
        return KIV_OK;
    } catch (...) {
        return KIV_RETERR(KIV_E_NOOBJ);
    }
}
