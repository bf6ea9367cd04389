#include "CKivDevBasicPart.h"

#include <algorithm>
#include <cstring>

int CKivDevBasicPart::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CKivDevBasicPart::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!pBuf || !m_pDisk || nFirst >= m_nCount || nCount > m_nCount) return 0;
    uint64_t n = nCount <= m_nCount - nFirst ? nCount : m_nCount - nFirst;
    uint64_t nSize = GetSectorSize();
    int r = m_pDisk->ReadSectorsEx(pBuf, m_nFirst + nFirst, n, nFlags, pBad);
    if (pBad)
        for (KivBadRange& b : *pBad) b.nFirst -= m_nFirst, b.nEnd -= m_nFirst;  // into the window's numbers
    if (n < nCount) std::memset(static_cast<uint8_t*>(pBuf) + n * nSize, 0, (nCount - n) * nSize);
    return r;
}

int CKivDevBasicPart::GetBadAreas(KivBadRanges* pOut) {
    if (!pOut) return 0;
    pOut->clear();
    KivBadRanges all;
    if (!m_pDisk || !m_pDisk->GetBadAreas(&all)) return 0;
    for (const KivBadRange& r : all) {
        uint64_t f = std::max(r.nFirst, m_nFirst), e = std::min(r.nEnd, m_nFirst + m_nCount);
        if (f < e) pOut->push_back({f - m_nFirst, e - m_nFirst, r.nKind});
    }
    return 1;
}

int CKivDevBasicPart::AddBadAreas(const KivBadRanges& areas) {
    if (!m_pDisk) return 0;
    KivBadRanges moved;
    for (const KivBadRange& r : areas)
        if (r.nFirst < m_nCount && r.nFirst < r.nEnd)
            moved.push_back({m_nFirst + r.nFirst, m_nFirst + std::min(r.nEnd, m_nCount), r.nKind});
    return m_pDisk->AddBadAreas(moved);
}

int CKivDevBasicPart::FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
    uint64_t f = 0, e = 0;
    if (!m_pDisk || nSector >= m_nCount || !m_pDisk->FindData(m_nFirst + nSector, &f, &e))
        return IKivDevStor::FindData(nSector, pFirst, pEnd);
    auto inWindow = [this](uint64_t s) { return s <= m_nFirst ? 0 : std::min(s - m_nFirst, m_nCount); };
    uint64_t nData = std::max(nSector, inWindow(f));
    if (pFirst) *pFirst = nData;
    if (pEnd) *pEnd = std::max(nData, inWindow(e));
    return 1;
}
