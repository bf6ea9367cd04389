#include "Ldm/CKivVolDyn.h"

#include <algorithm>
#include <cstring>

CKivVolDyn::CKivVolDyn(int32_t nLayout, std::vector<KivDynExtent> extents, uint64_t nSectors, uint8_t nPartType)
    : m_nLayout(nLayout), m_extents(std::move(extents)), m_nSectors(nSectors), m_nPartType(nPartType) {
    for (const KivDynExtent& e : m_extents) m_columns[e.nColumn].push_back(e);
    for (auto& [c, v] : m_columns)
        std::sort(v.begin(), v.end(), [](const KivDynExtent& a, const KivDynExtent& b) { return a.nOffset < b.nOffset; });
}

uint32_t CKivVolDyn::GetSectorSize() {
    for (const KivDynExtent& e : m_extents)
        if (e.pDisk) return e.pDisk->GetSectorSize();
    return 512;
}

int CKivVolDyn::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    if (!pBuf) return 0;
    uint64_t nLost = 0;
    return ReadInto(static_cast<uint8_t*>(pBuf), nFirst, nCount, &nLost);
}

int CKivVolDyn::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!pBuf) return 0;
    uint64_t nLost = 0;
    int r = ReadInto(static_cast<uint8_t*>(pBuf), nFirst, nCount, &nLost);
    if (r && nLost && pBad && nFirst < m_nSectors) ListLost(nFirst, std::min(nCount, m_nSectors - nFirst), pBad);
    return r;
}

void CKivVolDyn::ListLost(uint64_t nFirst, uint64_t nCount, KivBadRanges* pBad) {
    if (nCount == 1) {
        if (!pBad->empty() && pBad->back().nEnd == nFirst) ++pBad->back().nEnd;
        else pBad->push_back({nFirst, nFirst + 1, KIV_BAD_FAILED});
        return;
    }
    std::vector<uint8_t> tmp;
    const uint64_t h = nCount / 2;
    for (auto [f, n] : {std::pair{nFirst, h}, std::pair{nFirst + h, nCount - h}}) {
        tmp.resize(n * GetSectorSize());
        uint64_t nLost = 0;
        if (ReadInto(tmp.data(), f, n, &nLost) && nLost) ListLost(f, n, pBad);
    }
}

int CKivVolDyn::IsSameVolume(IKivVolDyn* pOther) {
    if (!pOther) return 0;
    if (pOther == this) return 1;
    if (pOther->GetLayoutCode() != m_nLayout) return 0;
    std::vector<KivPartExtent> a, b;
    GetExtents(&a);
    pOther->GetExtents(&b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const KivPartExtent& x, const KivPartExtent& y) {
               return std::memcmp(&x, &y, sizeof x) == 0;
           });
}

int32_t CKivVolDyn::GetFsKindHint() {
    switch (m_nPartType) {
        case 0x01: case 0x11: return KIV_FSK_FAT12;
        case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: case 0x1E: return KIV_FSK_FAT16;
        case 0x0B: case 0x0C: case 0x1B: return KIV_FSK_FAT32;
        case 0x07: case 0x17: return KIV_FSK_NTFS;
        case 0x82: case 0x83: case 0x85: case 0x8E: case 0x92: case 0x93: return KIV_FSK_EXT2;
        default: return KIV_FSK_UNKNOWN;
    }
}

int CKivVolDyn::GetExtents(std::vector<KivPartExtent>* pOut) {
    if (!pOut) return 0;
    pOut->clear();
    for (const KivDynExtent& e : m_extents) pOut->push_back(KivPartExtent{e.nFirst, e.nCount, e.pDisk});
    return 1;
}

bool CKivVolDyn::Begin(uint8_t* p, uint64_t nFirst, uint64_t* pnCount) const {
    uint64_t nSize = 0;
    const uint64_t nSectorBytes = const_cast<CKivVolDyn*>(this)->GetSectorSize();
    if (!p || __builtin_mul_overflow(*pnCount, nSectorBytes, &nSize) || nSize >= (1ull << 32)) return false;
    std::memset(p, 0, nSize);
    if (nFirst >= m_nSectors || *pnCount > m_nSectors) return false;
    *pnCount = std::min(*pnCount, m_nSectors - nFirst);
    return true;
}

void CKivVolDyn::ReadExtent(const KivDynExtent& e, uint64_t nIn, uint64_t n, uint8_t* p, uint64_t* pnLost) {
    if (!e.pDisk) {
        *pnLost += n;  // the member disk is missing: its part stays zero
        return;
    }
    if (!e.pDisk->ReadSectors(p, e.nFirst + nIn, n)) {
        std::memset(p, 0, n * e.pDisk->GetSectorSize());
        *pnLost += n;
        return;
    }
    *pnLost += e.pDisk->CountUnreadable(e.nFirst + nIn, n);
}

bool CKivVolDyn::ReadColumn(uint64_t nColumn, uint64_t nOff, uint64_t n, uint8_t* p, uint64_t* pnLost) {
    const uint64_t nSize = GetSectorSize();
    auto it = m_columns.find(nColumn);
    while (n > 0) {
        const KivDynExtent* pExt = nullptr;
        if (it != m_columns.end())
            for (const KivDynExtent& e : it->second)
                if (e.nOffset <= nOff && nOff - e.nOffset < e.nCount) pExt = &e;
        if (!pExt) {
            *pnLost += n;
            return false;
        }
        uint64_t k = std::min(n, pExt->nOffset + pExt->nCount - nOff);
        ReadExtent(*pExt, nOff - pExt->nOffset, k, p, pnLost);
        p += k * nSize;
        nOff += k;
        n -= k;
    }
    return true;
}
