#include "CKivFileAttrExFAT.h"

#include "KivStreamLE.h"

const char* CKivFileAttrExFAT::GetDataDamage() {
    switch (m_nDamage) {
        case kReused: return kKivReusedDamage;
        case kPastEnd: return "its clusters would run past the end of the volume";
        case kBadChain: return "its cluster chain is broken";
        default: return m_strContentDamage.empty() ? nullptr : m_strContentDamage.c_str();
    }
}

int CKivFileAttrExFAT::Save(IKivStream* pStream) {
    auto nLen = static_cast<uint16_t>(m_strName.size());
    return WriteLE(pStream, nLen) && pStream->Write(m_strName.data(), nLen) && WriteLE(pStream, m_nSize) &&
           WriteLE(pStream, m_nValidLength) && WriteLE(pStream, m_nAttributes) && WriteLE(pStream, m_nCTime) &&
           WriteLE(pStream, m_nMTime) && WriteLE(pStream, m_nATime) && WriteLE(pStream, m_nRecordState) &&
           WriteLE(pStream, m_nFirstCluster) && WriteLE(pStream, m_nDirCluster) && WriteLE(pStream, m_nDamage) &&
           SaveRuns(pStream);
}

int CKivFileAttrExFAT::Load(IKivStream* pStream) {
    m_nCheckState = 0;
    m_nUserValue = 0;
    uint16_t nLen = 0;
    return ReadLE(pStream, &nLen) && KivReadText(pStream, nLen, m_nMaxName, &m_strName) && ReadLE(pStream, &m_nSize) &&
           ReadLE(pStream, &m_nValidLength) && ReadLE(pStream, &m_nAttributes) && ReadLE(pStream, &m_nCTime) &&
           ReadLE(pStream, &m_nMTime) && ReadLE(pStream, &m_nATime) && ReadLE(pStream, &m_nRecordState) &&
           ReadLE(pStream, &m_nFirstCluster) && ReadLE(pStream, &m_nDirCluster) && ReadLE(pStream, &m_nDamage) &&
           LoadRuns(pStream);
}
