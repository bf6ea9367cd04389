#include "CKivFileAttrRAW.h"

#include "KivLog.h"
#include "KivStreamLE.h"

int CKivFileAttrRAW::SetName(const char* pszName) {
    if (!pszName) {
        KivLogA(0, "CKivFileAttrRAW::SetFileName null\n");
        m_strName = "UnkownName";
        return 0;
    }
    return CKivFileAttrBase::SetName(pszName);
}

void CKivFileAttrRAW::SetSectorRun(uint64_t nStartSector, uint64_t nSize) {
    CKivCompactRunList runs;
    if (nStartSector != KIV_SPARSE_RUN && nSize != 0) runs.Append(nStartSector, nSize / 512 + (nSize % 512 != 0));
    SetRuns(std::move(runs));
}

int CKivFileAttrRAW::Save(IKivStream* pStream) {
    auto nLen = static_cast<uint8_t>(m_strName.size());
    auto nTextLen = static_cast<uint8_t>(m_strTypeText.size());
    CKivCompactRunList none;
    const CKivCompactRunList& runs = m_pRuns ? *m_pRuns : none;
    return WriteLE(pStream, nLen) && pStream->Write(m_strName.data(), nLen) && WriteLE(pStream, nTextLen) &&
           pStream->Write(m_strTypeText.data(), nTextLen) && WriteLE(pStream, m_nSize) &&
           WriteLE(pStream, m_nAttributes) && WriteLE(pStream, m_nKindValue) && runs.Save(pStream);
}

int CKivFileAttrRAW::Load(IKivStream* pStream) {
    m_nCheckState = 0;
    uint8_t nLen = 0, nTextLen = 0;
    auto pRuns = std::make_unique<CKivCompactRunList>();
    int nOk = ReadLE(pStream, &nLen) && KivReadText(pStream, nLen, m_nMaxName, &m_strName) &&
              ReadLE(pStream, &nTextLen) && KivReadText(pStream, nTextLen, m_nMaxText, &m_strTypeText) &&
              ReadLE(pStream, &m_nSize) && ReadLE(pStream, &m_nAttributes) && ReadLE(pStream, &m_nKindValue) &&
              pRuns->Load(pStream);
    m_pRuns = std::move(pRuns);
    return nOk;
}
