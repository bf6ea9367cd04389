#include "CKivReaderStor.h"

#include <algorithm>
#include <cstring>

int CKivReaderStor::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CKivReaderStor::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!pBuf) return 0;
    if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) {
        uint64_t nBytes = 0;
        if (!__builtin_mul_overflow(nCount, uint64_t(m_nSectorSize), &nBytes) && nBytes < (1ull << 32))
            std::memset(pBuf, 0, nBytes);
        return 0;
    }
    return m_pReader->Read(pBuf, nFirst, nCount, nFlags, pBad);
}

int CKivReaderStor::GetBadAreas(KivBadRanges* pOut) {
    if (!pOut) return 0;
    *pOut = m_pReader->GetBadAreas();
    return 1;
}

KivBadRanges CKivReaderStor::Within(const KivBadRanges& areas, uint64_t nSectors) {
    KivBadRanges inside;
    for (const KivBadRange& r : areas)
        if (r.nFirst < nSectors && r.nFirst < r.nEnd) inside.push_back({r.nFirst, std::min(r.nEnd, nSectors), r.nKind});
    return inside;
}

int CKivReaderStor::AddBadAreas(const KivBadRanges& areas) {
    m_pReader->AddBadAreas(Within(areas, m_nSectors));
    return 1;
}

int CKivReaderStor::AnswerData(uint64_t nSector, uint64_t nDataAt, uint64_t nDataEnd, uint64_t nBytes,
                               uint64_t* pFirst, uint64_t* pEnd) const {
    const uint64_t nFirst = nDataAt >= nBytes ? m_nSectors : std::max(nSector, nDataAt / m_nSectorSize);
    const uint64_t nEnd = nDataEnd >= nBytes ? m_nSectors : (nDataEnd + m_nSectorSize - 1) / m_nSectorSize;
    if (pFirst) *pFirst = nFirst;
    if (pEnd) *pEnd = std::max(nEnd, nFirst);
    return 1;
}
