#include "CKivImageDev.h"

#include <new>

#include "CKivImageStor.h"
#include "KivLog.h"
#include "platform/KivBlockDev.h"

namespace {

template <typename Fn>
KivResult MakeStor(IKivDevStor** ppStor, Fn open) {
    if (!ppStor) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppStor = nullptr;
    try {
        auto* p = new CKivImageStor();
        KivResult r = open(p);
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

}  // namespace

KivResult CKivImageDev::OpenImage(const char* pszPath, uint32_t nSectorSize, IKivDevStor** ppStor) {
    return MakeStor(ppStor, [&](CKivImageStor* p) { return p->OpenPath(pszPath, nSectorSize); });
}

KivResult CKivImageDev::OpenImageFd(int fd, const char* pszName, uint32_t nSectorSize, IKivDevStor** ppStor) {
    return MakeStor(ppStor, [&](CKivImageStor* p) { return p->OpenFd(fd, pszName, nSectorSize); });
}

KivResult CKivImageDev::SetDevOpener(IKivDevOpener* pOpener) {
    KivSetDevOpener(pOpener);
    return KIV_OK;
}
