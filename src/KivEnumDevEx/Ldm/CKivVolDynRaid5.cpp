#include "Ldm/CKivVolDynRaid5.h"

#include <algorithm>
#include <cstring>

void CKivVolDynRaid5::Locate(uint64_t nFirst, uint64_t* pnColumn, uint64_t* pnOffset) const {
    const uint64_t k = m_nColumns;
    uint64_t nRow = nFirst / (m_nStripe * (k - 1));
    uint64_t d = (nFirst / m_nStripe) % (k - 1);
    uint64_t nParity = k - (nRow % k);  // the data of the row starts one column after the parity
    *pnColumn = (nParity + d) % k;
    *pnOffset = nRow * m_nStripe + nFirst % m_nStripe;
}

int CKivVolDynRaid5::ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) {
    if (!Begin(p, nFirst, &nCount) || m_nColumns < 2 || m_nStripe == 0) return 0;
    const uint64_t nSize = GetSectorSize();
    bool bAll = true;
    std::vector<uint8_t> other;
    while (nCount > 0) {
        uint64_t nColumn = 0, nOff = 0;
        Locate(nFirst, &nColumn, &nOff);
        uint64_t n = std::min(nCount, m_nStripe - nFirst % m_nStripe);
        uint64_t nLost = 0;
        ReadColumn(nColumn, nOff, n, p, &nLost);
        if (nLost) {
            // Rebuild: data and parity of a row XOR to zero.
            std::memset(p, 0, n * nSize);
            other.resize(n * nSize);
            bool bRebuilt = true;
            for (uint64_t c = 0; c < m_nColumns && bRebuilt; ++c) {
                if (c == nColumn) continue;
                uint64_t nOtherLost = 0;
                ReadColumn(c, nOff, n, other.data(), &nOtherLost);
                if (nOtherLost) bRebuilt = false;
                for (size_t i = 0; i < other.size(); ++i) p[i] ^= other[i];
            }
            if (!bRebuilt) {
                std::memset(p, 0, n * nSize);
                *pnLost += n;
                bAll = false;
            }
        }
        p += n * nSize;
        nFirst += n;
        nCount -= n;
    }
    return bAll ? 1 : 0;
}
