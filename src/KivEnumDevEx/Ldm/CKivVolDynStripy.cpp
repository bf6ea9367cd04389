#include "Ldm/CKivVolDynStripy.h"

#include <algorithm>

int CKivVolDynStripy::ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) {
    if (!Begin(p, nFirst, &nCount) || m_nColumns == 0 || m_nStripe == 0) return 0;
    const uint64_t nSize = GetSectorSize();
    bool bAll = true;
    while (nCount > 0) {
        uint64_t nRow = nFirst / (m_nStripe * m_nColumns);
        uint64_t nColumn = (nFirst / m_nStripe) % m_nColumns;
        uint64_t nIn = nFirst % m_nStripe;
        uint64_t n = std::min(nCount, m_nStripe - nIn);
        bAll = ReadColumn(nColumn, nRow * m_nStripe + nIn, n, p, pnLost) && bAll;
        p += n * nSize;
        nFirst += n;
        nCount -= n;
    }
    return bAll ? 1 : 0;
}
