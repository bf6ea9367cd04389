#include "Ldm/CKivVolDynMir.h"

#include <algorithm>
#include <cstring>

CKivVolDynMir::CKivVolDynMir(std::vector<CKivVolDyn*> members, uint64_t nSectors, uint8_t nPartType)
    : CKivVolDyn(KIV_DYN_MIRROR, Union(members), nSectors, nPartType), m_members(std::move(members)) {}

CKivVolDynMir::~CKivVolDynMir() {
    for (CKivVolDyn* p : m_members) p->Release();
}

std::vector<KivDynExtent> CKivVolDynMir::Union(const std::vector<CKivVolDyn*>& members) {
    std::vector<KivDynExtent> all;
    for (CKivVolDyn* p : members) all.insert(all.end(), p->Extents().begin(), p->Extents().end());
    return all;
}

int CKivVolDynMir::ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) {
    if (!Begin(p, nFirst, &nCount)) return 0;
    const uint64_t nSize = GetSectorSize();
    std::vector<uint8_t> tmp;
    auto readWhole = [&](CKivVolDyn* m, uint64_t f, uint64_t n) {
        tmp.assign(n * nSize, 0);
        uint64_t nLost = 0;
        return m->ReadInto(tmp.data(), f, n, &nLost) && nLost == 0;
    };
    while (nCount > 0) {
        uint64_t n = std::min(nCount, kChunk);
        bool bDone = false;
        for (CKivVolDyn* m : m_members) {
            if (readWhole(m, nFirst, n)) {
                std::memcpy(p, tmp.data(), tmp.size());
                bDone = true;
                break;
            }
        }
        for (uint64_t i = 0; i < n && !bDone; ++i) {
            bool bSector = false;
            for (CKivVolDyn* m : m_members) {
                if (readWhole(m, nFirst + i, 1)) {
                    std::memcpy(p + i * nSize, tmp.data(), nSize);
                    bSector = true;
                    break;
                }
            }
            if (!bSector) ++*pnLost;
        }
        p += n * nSize;
        nFirst += n;
        nCount -= n;
    }
    return 1;
}
