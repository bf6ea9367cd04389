#include "platform/KivDynLib.h"

#include "KivWin32.h"

bool CKivDynLib::Load(std::initializer_list<const char*> names, std::string* pWhy) {
    if (m_pHandle) return true;
    for (const char* pszName : names) {
        std::wstring wide;
        for (const char* p = pszName; *p; ++p) wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        // The system folders only: a DLL of the same name planted beside a scanned image or in the
        // current folder is never bound.
        if (HMODULE h = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR)) {
            m_pHandle = reinterpret_cast<void*>(h);
            m_strName = pszName;
            return true;
        }
        if (pWhy) *pWhy = std::string(pszName) + " not found (error " + std::to_string(GetLastError()) + ")";
    }
    return false;
}

void* CKivDynLib::Symbol(const char* pszName) const {
    return m_pHandle ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_pHandle), pszName)) : nullptr;
}
