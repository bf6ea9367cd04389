#include "CKivFileAttrNTFS.h"

#include <algorithm>

#include "IKivDevStor.h"
#include "KivNtfsRecordRead.h"
#include "KivStreamLE.h"

namespace {
// Metadata larger than this is no key stream but damage.
constexpr uint64_t kMaxEfsBytes = 1 << 20;
}  // namespace

void CKivFileAttrNTFS::SetEfsResident(uint64_t nRecordSector, uint16_t nOffset, uint32_t nSize) {
    m_pairs = {{KIV_NTFS_EFS_RESIDENT, nSize}, {nRecordSector, nOffset}};
}

void CKivFileAttrNTFS::SetEfsRuns(const std::vector<KivDataRun>& runs, uint64_t nSize) {
    m_pairs = {{KIV_NTFS_EFS_RUNS, nSize}};
    for (const KivDataRun& r : runs) m_pairs.emplace_back(r.nStart, r.nLength);
}

bool CKivFileAttrNTFS::ReadEfsMetadata(IKivDevStor* pReader, uint64_t nBaseSector, uint32_t nSecPerClus,
                                       std::vector<uint8_t>* pOut) {
    if (m_pairs.size() < 2 || !pReader || nSecPerClus == 0) return false;
    uint64_t nSize = m_pairs[0].second;
    if (nSize == 0 || nSize > kMaxEfsBytes) return false;
    if (m_pairs[0].first == KIV_NTFS_EFS_RESIDENT) {
        uint64_t nFirst = 0;
        if (__builtin_add_overflow(nBaseSector, m_pairs[1].first, &nFirst) || m_pairs[1].second > 0xFFFF) return false;
        KivRecordRead res = KivReadResidentValue(pReader, nFirst, static_cast<uint32_t>(m_pairs[1].second), nSize, pOut);
        return res == KivRecordRead::kOk;  // a torn record's keys would not open the file
    }
    if (m_pairs[0].first != KIV_NTFS_EFS_RUNS) return false;
    std::vector<KivDataRun> runs;
    for (size_t i = 1; i < m_pairs.size(); ++i) runs.push_back({m_pairs[i].first, m_pairs[i].second});
    *pOut = KivReadRunsHead(pReader, nBaseSector, nSecPerClus, runs, nSize);
    return pOut->size() == nSize;
}

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
