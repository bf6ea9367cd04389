#include "CKivFileAttrBase.h"

#include "KivStreamLE.h"

int CKivFileAttrBase::SetName(const char* pszName) {
    std::string s = pszName ? pszName : "";
    m_strName = KivUtf8Prefix(s, m_nMaxName);
    return m_strName.size() == s.size();
}

void CKivFileAttrBase::SetTypeText(const char* pszText) {
    m_strTypeText = KivUtf8Prefix(pszText ? pszText : "", m_nMaxText);
}

IDataRunList* CKivFileAttrBase::GetDataRunList() { return m_pRuns ? m_pRuns->BuildRunList() : nullptr; }

int CKivFileAttrBase::SaveRuns(IKivStream* pStream) {
    uint32_t bHas = m_pRuns ? 1 : 0;
    if (!WriteLE(pStream, bHas)) return 0;
    return !bHas || m_pRuns->Save(pStream);
}

int CKivFileAttrBase::LoadRuns(IKivStream* pStream) {
    uint32_t bHas = 0;
    if (!ReadLE(pStream, &bHas)) return 0;
    m_pRuns.reset();
    if (!bHas) return 1;
    auto pRuns = std::make_unique<CKivCompactRunList>();
    int nOk = pRuns->Load(pStream);
    m_pRuns = std::move(pRuns);
    return nOk;
}
