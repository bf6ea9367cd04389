#include "Storage/KivBlockSectors.h"

#include <cstring>

#include "Storage/CKivDevStorCache.h"

bool KivGetScanBlock(IKivDevStor* pStor, uint64_t nFirst, uint64_t nCount, bool bBySector, std::vector<uint8_t>* pBuf,
                     KivBadRanges* pBad, KivScanBlock* pOut) {
    if (!pStor || !pOut) return false;
    if (auto* pCache = dynamic_cast<CKivDevStorCache*>(pStor))
        if (pCache->GetCurBlock(pOut) && pOut->nFirst == nFirst && pOut->nCount >= nCount) {
            pOut->nCount = nCount;
            return true;
        }
    const uint32_t z = pStor->GetSectorSize() ? pStor->GetSectorSize() : 512;
    pBuf->resize(size_t(nCount) * z);
    pBad->clear();
    *pOut = KivScanBlock{};
    pOut->nFirst = nFirst;
    pOut->nCount = nCount;
    pOut->nSectorSize = z;
    pOut->pData = pBuf->data();
    pOut->nBlockSectors = nCount;
    pOut->pBad = pBad;
    if (pStor->ReadSectorsEx(pBuf->data(), nFirst, nCount, 0, pBad)) return true;
    if (!bBySector) return false;
    pBad->clear();
    KivBadRanges one;
    for (uint64_t i = 0; i < nCount; ++i) {
        uint8_t* p = pBuf->data() + size_t(i) * z;
        if (pStor->ReadSectorsEx(p, nFirst + i, 1, 0, &one) && one.empty()) continue;
        std::memset(p, 0, z);
        uint32_t nKind = one.empty() ? KIV_BAD_FAILED : one.front().nKind;
        if (!pBad->empty() && pBad->back().nEnd == nFirst + i && pBad->back().nKind == nKind)
            ++pBad->back().nEnd;
        else
            pBad->push_back({nFirst + i, nFirst + i + 1, nKind});
    }
    return true;
}
