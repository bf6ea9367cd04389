#include "CKivExtFilterEx.h"

#include <cstring>

#include "KivLog.h"
#include "RawTypeTable.h"

namespace {
std::string AsciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}
}  // namespace

void CKivExtFilterEx::SetExts(const std::vector<std::string>& exts) {
    m_exts.clear();
    for (const std::string& e : exts) AddExt(e);
}

void CKivExtFilterEx::AddExt(const std::string& ext) { m_exts.insert(AsciiLower(ext)); }

KivResult CKivExtFilterEx::GetExtLowName(const char* pszName, std::string* pExt) const {
    if (pExt) pExt->clear();
    if (!pszName || !pExt) return KIV_RETERR(KIV_E_INVALIDARG);
    const char* pszAfter = pszName;
    for (const char* p = pszName; *p; ++p)
        if (*p == '.' || *p == '\\') pszAfter = p + 1;
    *pExt = AsciiLower(pszAfter);
    return KIV_OK;
}

bool CKivExtFilterEx::IsNameKept(const char* pszName) const {
    if (m_nMode == MODE_ALL || m_exts.empty()) return true;
    std::string ext;
    GetExtLowName(pszName, &ext);
    bool bListed = !ext.empty() && m_exts.count(ext) != 0;
    if (m_nMode == MODE_ONLY) return bListed;
    if (m_nMode == MODE_EXCEPT) return !bListed;
    return true;
}

bool CKivExtFilterEx::IsFileNameKept(const char* pszName, bool bIsDir) const {
    if (bIsDir || m_nMode == MODE_ALL || m_exts.empty()) return true;
    const char* pszDot = pszName ? std::strrchr(pszName, '.') : nullptr;
    if (!pszDot) return m_nMode != MODE_ONLY;
    return IsNameKept(pszDot + 1);
}

std::vector<uint32_t> CKivExtFilterEx::SelectedTypeIds() const {
    std::vector<uint32_t> ids;
    const RawTypeTable& table = RawTypeTable::Get();
    for (uint32_t nId = 1; nId < RawTypeTable::kFixedCount; ++nId)
        if (m_nMode == MODE_ALL || IsNameKept(table.GetExt(nId).c_str())) ids.push_back(nId);
    return ids;
}
