#include "CKivFileAttrFAT.h"

#include "KivStreamLE.h"

void CKivFileAttrFAT::SetSecondName(const char* pszName) {
    m_strSecondName = KivUtf8Prefix(pszName ? pszName : "", m_nMaxName);
}

int CKivFileAttrFAT::Save(IKivStream* pStream) {
    auto nLen1 = static_cast<uint16_t>(m_strName.size());
    auto nLen2 = static_cast<uint16_t>(m_strSecondName.size());
    return WriteLE(pStream, nLen1) && WriteLE(pStream, nLen2) && pStream->Write(m_strName.data(), nLen1) &&
           pStream->Write(m_strSecondName.data(), nLen2) && WriteLE(pStream, m_nSize) &&
           WriteLE(pStream, m_nAttributes) && WriteLE(pStream, m_nCTime) && WriteLE(pStream, m_nMTime) &&
           WriteLE(pStream, m_nATime) && WriteLE(pStream, m_nRecordState) && WriteLE(pStream, m_nFirstCluster) &&
           WriteLE(pStream, m_nDirCluster) && SaveRuns(pStream);
}

int CKivFileAttrFAT::Load(IKivStream* pStream) {
    m_nCheckState = 0;
    m_nUserValue = 0;
    uint16_t nLen1 = 0, nLen2 = 0;
    return ReadLE(pStream, &nLen1) && ReadLE(pStream, &nLen2) && KivReadText(pStream, nLen1, m_nMaxName, &m_strName) &&
           KivReadText(pStream, nLen2, m_nMaxName, &m_strSecondName) && ReadLE(pStream, &m_nSize) &&
           ReadLE(pStream, &m_nAttributes) && ReadLE(pStream, &m_nCTime) && ReadLE(pStream, &m_nMTime) &&
           ReadLE(pStream, &m_nATime) && ReadLE(pStream, &m_nRecordState) && ReadLE(pStream, &m_nFirstCluster) &&
           ReadLE(pStream, &m_nDirCluster) && LoadRuns(pStream);
}
