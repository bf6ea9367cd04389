#include "CKivFileAttrNTFS.h"

#include <algorithm>

#include "KivStreamLE.h"

int CKivFileAttrNTFS::Save(IKivStream* pStream) {
    auto nLen = static_cast<uint16_t>(m_strName.size());
    if (!WriteLE(pStream, nLen) || (nLen && !pStream->Write(m_strName.data(), nLen))) return 0;
    if (!(WriteLE(pStream, m_nSize) && WriteLE(pStream, m_nAttributes) && WriteLE(pStream, m_nCTime) &&
          WriteLE(pStream, m_nMTime) && WriteLE(pStream, m_nATime) && WriteLE(pStream, m_nRecordState) &&
          WriteLE(pStream, m_nRecordRef) && SaveRuns(pStream)))
        return 0;
    if (!WriteLE(pStream, static_cast<uint64_t>(m_pairs.size()))) return 0;
    for (const auto& [a, b] : m_pairs)
        if (!WriteLE(pStream, a) || !WriteLE(pStream, b)) return 0;
    return 1;
}

int CKivFileAttrNTFS::Load(IKivStream* pStream) {
    m_nCheckState = 0;
    m_nUserValue = 0;
    uint16_t nLen = 0;
    if (!ReadLE(pStream, &nLen) || !KivReadText(pStream, nLen, m_nMaxName, &m_strName)) return 0;
    if (!(ReadLE(pStream, &m_nSize) && ReadLE(pStream, &m_nAttributes) && ReadLE(pStream, &m_nCTime) &&
          ReadLE(pStream, &m_nMTime) && ReadLE(pStream, &m_nATime) && ReadLE(pStream, &m_nRecordState) &&
          ReadLE(pStream, &m_nRecordRef) && LoadRuns(pStream)))
        return 0;
    uint64_t nCount = 0;
    if (!ReadLE(pStream, &nCount)) return 0;
    m_pairs.clear();
    // The count only bounds the loop; memory grows with pairs actually read.
    m_pairs.reserve(std::min<uint64_t>(nCount, 1024));
    for (uint64_t i = 0; i < nCount; ++i) {
        uint64_t a = 0, b = 0;
        if (!ReadLE(pStream, &a) || !ReadLE(pStream, &b)) return 0;
        m_pairs.emplace_back(a, b);
    }
    return 1;
}
