// Linux back end of the loader: binds "<module>.so" from the executable's folder and asks its
// factory for an interface.
#include "KivModuleLoader.h"

#include <dlfcn.h>

#include <string>

#include "KivLog.h"
#include "platform/KivPlatform.h"

namespace {
// Log lines of the loader name the loader's contract, wherever the code is compiled.
KivResult LoaderError(uint32_t nLine, uint32_t nErr) {
    return LogError(KivMakeCode(nLine, KIV_MODULE_NUMBER, nErr), "KivModuleLoader.h", "KivLoadModule",
                    static_cast<int>(nLine));
}
}  // namespace

KivResult KivLoadModule(const char* pszModule, const char* pszInterface, IKivCommon** ppOut) {
    if (!ppOut) return LoaderError(__LINE__, KIV_E_INVALIDARG);
    if (!pszModule || !*pszModule) return LoaderError(__LINE__, KIV_E_BIND);
    std::string path = KivGetExeDir() + "/" + pszModule + ".so";
    // Never unloaded: objects of the library may live until the process ends.
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        KivLogA(0, "KivLoadModule: %s", ::dlerror());
        return LoaderError(__LINE__, KIV_E_BIND);
    }
    auto pfn = reinterpret_cast<PFN_KivDllQueryInterface>(::dlsym(h, "KivDllQueryInterface"));
    if (!pfn) return LoaderError(__LINE__, KIV_E_BIND);
    IKivCommon* p = nullptr;
    KivResult r = pfn(pszInterface ? pszInterface : "", &p);
    if (KivFailed(r)) return LogError(r, "KivModuleLoader.h", "KivLoadModule", __LINE__);
    *ppOut = p;
    return r;
}

IKivCommon* KivLoadModule(const char* pszModule, const char* pszInterface) {
    IKivCommon* p = nullptr;
    return KivFailed(KivLoadModule(pszModule, pszInterface, &p)) ? nullptr : p;
}
