#include "Ldm/CKivVolDynSpan.h"

#include <algorithm>

CKivVolDynSpan::CKivVolDynSpan(int32_t nLayout, std::vector<KivDynExtent> extents, uint64_t nSectors,
                               uint8_t nPartType)
    : CKivVolDyn(nLayout, std::move(extents), nSectors, nPartType) {
    std::sort(m_extents.begin(), m_extents.end(),
              [](const KivDynExtent& a, const KivDynExtent& b) { return a.nOffset < b.nOffset; });
}

int CKivVolDynSpan::ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) {
    if (!Begin(p, nFirst, &nCount)) return 0;
    const uint64_t nSize = GetSectorSize();
    for (const KivDynExtent& e : m_extents) {
        if (nCount == 0) break;
        if (nFirst < e.nOffset || nFirst - e.nOffset >= e.nCount) continue;
        uint64_t n = std::min(nCount, e.nOffset + e.nCount - nFirst);
        ReadExtent(e, nFirst - e.nOffset, n, p, pnLost);
        p += n * nSize;
        nFirst += n;
        nCount -= n;
    }
    *pnLost += nCount;
    return nCount == 0 ? 1 : 0;
}
