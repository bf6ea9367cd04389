// Binds "<module>.dll" from the executable's folder and asks its factory for an interface.
#include "KivModuleLoader.h"

#include <string>

#include "KivLog.h"
#include "KivWin32.h"
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
    // The program's own folder, not the search order: a planted DLL of the same name in the
    // current folder or on PATH is never bound.
    std::wstring path = KivWinPath(KivGetExeDir() + "/" + pszModule + ".dll");
    // Never unloaded: objects of the library may live until the process ends.
    HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!h) {
        KivLogA(0, "KivLoadModule: error %lu", static_cast<unsigned long>(GetLastError()));
        return LoaderError(__LINE__, KIV_E_BIND);
    }
    auto pfn = reinterpret_cast<PFN_KivDllQueryInterface>(
        reinterpret_cast<void*>(GetProcAddress(h, "KivDllQueryInterface")));
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
