// Windows back end of the registry helper: the registry itself, through the registry API.
#include "KivReg.h"

#include <vector>

#include "KivLog.h"
#include "KivWin32.h"
#include "platform/KivText.h"

namespace {

// Joins key paths with a backslash, refusing the names the Linux store refuses.
bool AppendKeyPath(std::wstring* pKey, const std::string& path) {
    std::vector<std::string> pieces;
    if (!CKivReg::SplitKeyPath(path, &pieces)) return false;
    for (const std::string& p : pieces) {
        if (!pKey->empty()) *pKey += L'\\';
        *pKey += KivUtf8ToWide(p);
    }
    return true;
}

struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

}  // namespace

std::string CKivReg::StoreDir() { return StoreOverride(); }

// The key path below the root; a store set by a test lives below HKCU\Software\KivRegStore\<name>
// so that tests never touch the keys of an installation.
std::string CKivReg::KeyDir(const char* pszSubKey) const {
    std::wstring key;
    std::string store = StoreDir();
    if (!store.empty()) {
        std::string name;
        for (char c : store) name += (c == '/' || c == '\\' || c == ':') ? '_' : c;
        key = L"Software\\KivRegStore\\" + KivUtf8ToWide(name) + (m_root == KIV_REG_LOCAL_MACHINE ? L"\\HKLM" : L"\\HKCU");
    }
    if (!AppendKeyPath(&key, m_first) || !AppendKeyPath(&key, m_second)) return {};
    if (pszSubKey && !AppendKeyPath(&key, pszSubKey)) return {};
    return key.empty() ? std::string() : KivWideToUtf8(key);
}

namespace {
HKEY RootOf(KivRegRoot root, bool bStore) {
    return (bStore || root != KIV_REG_LOCAL_MACHINE) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}
}  // namespace

KivResult CKivReg::WriteData2Reg(const char* pszSubKey, const char* pszValue, const void* pData, uint32_t nSize) {
    if (!pData || nSize == 0 || !pszValue) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string path = KeyDir(pszSubKey);
    if (path.empty()) return KIV_RETERR(KIV_E_REGISTRY);
    Key k;
    if (RegCreateKeyExW(RootOf(m_root, !StoreDir().empty()), KivUtf8ToWide(path).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &k.h, nullptr) != ERROR_SUCCESS)
        return KIV_RETERR(KIV_E_REGISTRY);
    if (RegSetValueExW(k.h, KivUtf8ToWide(pszValue).c_str(), 0, REG_BINARY, static_cast<const BYTE*>(pData),
                       nSize) != ERROR_SUCCESS)
        return KIV_RETERR(KIV_E_REGISTRY);
    return KIV_OK;
}

KivResult CKivReg::ReadDataByReg(const char* pszSubKey, const char* pszValue, void* pBuf, uint32_t* pnSize) {
    if (!pBuf || !pnSize || *pnSize == 0 || !pszValue) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string path = KeyDir(pszSubKey);
    if (path.empty()) return KIV_RETERR(KIV_E_REGISTRY);
    Key k;
    if (RegOpenKeyExW(RootOf(m_root, !StoreDir().empty()), KivUtf8ToWide(path).c_str(), 0, KEY_ALL_ACCESS, &k.h) !=
        ERROR_SUCCESS)
        return KIV_RETERR(KIV_E_REGISTRY);
    DWORD n = *pnSize;
    if (RegQueryValueExW(k.h, KivUtf8ToWide(pszValue).c_str(), nullptr, nullptr, static_cast<BYTE*>(pBuf), &n) !=
        ERROR_SUCCESS)
        return KIV_RETERR(KIV_E_REGISTRY);
    *pnSize = n;
    return KIV_OK;
}

KivResult CKivReg::DeleteRegKey(const char* pszSubKey, const char* pszValue) {
    if (!pszValue) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string path = KeyDir(pszSubKey);
    if (path.empty()) return KIV_RETERR(KIV_E_REGISTRY);
    Key k;
    if (RegOpenKeyExW(RootOf(m_root, !StoreDir().empty()), KivUtf8ToWide(path).c_str(), 0, KEY_ALL_ACCESS, &k.h) !=
            ERROR_SUCCESS ||
        RegDeleteValueW(k.h, KivUtf8ToWide(pszValue).c_str()) != ERROR_SUCCESS)
        return KIV_RETERR(KIV_E_REGISTRY);
    return KIV_OK;
}

KivResult CKivReg::DeleteRegDir(const char* pszSubKey) {
    std::string parent = KeyDir(nullptr);
    if (parent.empty() || !pszSubKey || !*pszSubKey) return KIV_RETERR(KIV_E_REGISTRY);
    std::wstring sub;
    if (!AppendKeyPath(&sub, pszSubKey) || sub.empty()) return KIV_RETERR(KIV_E_REGISTRY);
    Key k;
    if (RegOpenKeyExW(RootOf(m_root, !StoreDir().empty()), KivUtf8ToWide(parent).c_str(), 0, KEY_ALL_ACCESS, &k.h) !=
            ERROR_SUCCESS ||
        RegDeleteTreeW(k.h, sub.c_str()) != ERROR_SUCCESS)
        return KIV_RETERR(KIV_E_REGISTRY);
    return KIV_OK;
}
