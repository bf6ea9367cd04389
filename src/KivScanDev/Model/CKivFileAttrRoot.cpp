#include "CKivFileAttrRoot.h"

#include "KivStreamLE.h"

int CKivFileAttrRoot::Save(IKivStream* pStream) {
    auto nLen = static_cast<uint16_t>(m_strName.size());
    auto nTextLen = static_cast<uint16_t>(m_strTypeText.size());
    return WriteLE(pStream, nLen) && pStream->Write(m_strName.data(), nLen) && WriteLE(pStream, nTextLen) &&
           pStream->Write(m_strTypeText.data(), nTextLen) && WriteLE(pStream, m_nSize) &&
           WriteLE(pStream, m_nAttributes) && WriteLE(pStream, m_nCTime) && WriteLE(pStream, m_nMTime) &&
           WriteLE(pStream, m_nATime) && WriteLE(pStream, m_nValue16) && WriteLE(pStream, m_aValues32[0]) &&
           WriteLE(pStream, m_aValues32[1]);
}

int CKivFileAttrRoot::Load(IKivStream* pStream) {
    m_nCheckState = 0;
    uint16_t nLen = 0, nTextLen = 0;
    return ReadLE(pStream, &nLen) && KivReadText(pStream, nLen, m_nMaxName, &m_strName) &&
           ReadLE(pStream, &nTextLen) && KivReadText(pStream, nTextLen, m_nMaxText, &m_strTypeText) &&
           ReadLE(pStream, &m_nSize) && ReadLE(pStream, &m_nAttributes) && ReadLE(pStream, &m_nCTime) &&
           ReadLE(pStream, &m_nMTime) && ReadLE(pStream, &m_nATime) && ReadLE(pStream, &m_nValue16) &&
           ReadLE(pStream, &m_aValues32[0]) && ReadLE(pStream, &m_aValues32[1]);
}
