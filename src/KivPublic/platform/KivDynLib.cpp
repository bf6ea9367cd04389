#include "KivDynLib.h"

#include <dlfcn.h>

bool CKivDynLib::Load(std::initializer_list<const char*> names, std::string* pWhy) {
    if (m_pHandle) return true;
    for (const char* pszName : names) {
        // RTLD_LOCAL: the library's own symbols stay out of the program's name space.
        if (void* h = ::dlopen(pszName, RTLD_NOW | RTLD_LOCAL)) {
            m_pHandle = h;
            m_strName = pszName;
            return true;
        }
        if (pWhy) {
            const char* pszErr = ::dlerror();
            *pWhy = pszErr ? pszErr : std::string(pszName) + " not found";
        }
    }
    return false;
}

void* CKivDynLib::Symbol(const char* pszName) const { return m_pHandle ? ::dlsym(m_pHandle, pszName) : nullptr; }
