#include "CKivImageDev.h"

#include <new>

#include <sys/stat.h>

#include "CKivContainerStor.h"
#include "CKivImageStor.h"
#include "KivContainerOpen.h"
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
    // A container (E01, VHD, ...) is told by its content and its virtual disk is what is read;
    // devices are never sniffed (their first sectors may be the damaged ones).
    struct stat st{};
    if (ppStor && pszPath && *pszPath && nSectorSize % 512 == 0 && ::stat(pszPath, &st) == 0 && S_ISREG(st.st_mode)) {
        KivImageKind kind = KivSniffImage(pszPath);
        if (kind != KivImageKind::kRaw) {
            *ppStor = nullptr;
            std::string why;
            std::unique_ptr<CKivContainer> p = KivOpenContainer(pszPath, kind, &why);
            if (!p) {
                KivLogA(0, "OpenImage: %s", why.c_str());
                return KivContainerFailure(why);
            }
            try {
                *ppStor = new CKivContainerStor(std::move(p), nSectorSize);
            } catch (...) {
                return KIV_RETERR(KIV_E_NOOBJ);
            }
            return KIV_OK;
        }
    }
    return MakeStor(ppStor, [&](CKivImageStor* p) { return p->OpenPath(pszPath, nSectorSize); });
}

KivResult CKivImageDev::OpenImageFd(int fd, const char* pszName, uint32_t nSectorSize, IKivDevStor** ppStor) {
    return MakeStor(ppStor, [&](CKivImageStor* p) { return p->OpenFd(fd, pszName, nSectorSize); });
}

KivResult CKivImageDev::SetDevOpener(IKivDevOpener* pOpener) {
    KivSetDevOpener(pOpener);
    return KIV_OK;
}
