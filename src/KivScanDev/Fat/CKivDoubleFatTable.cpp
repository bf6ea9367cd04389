#include "CKivDoubleFatTable.h"

#include "CKivFat12Table.h"
#include "CKivFat16Table.h"
#include "CKivFat32Table.h"
#include "KivLog.h"
#include "KivScanResult.h"

std::unique_ptr<CKivFatTableBase> CKivDoubleFatTable::NewTable(int32_t nType) {
    switch (nType) {
        case KIV_FS_FAT12: return std::make_unique<CKivFat12Table>();
        case KIV_FS_FAT16: return std::make_unique<CKivFat16Table>();
        case KIV_FS_FAT32: return std::make_unique<CKivFat32Table>();
        default: return nullptr;
    }
}

namespace {

std::unique_ptr<CKivFatTableBase> LoadCopy(IKivDevStor* pStor, int32_t nType, uint64_t nStart, uint32_t nSpf) {
    auto p = CKivDoubleFatTable::NewTable(nType);
    if (!p || !p->Load(pStor, nStart, nSpf)) return nullptr;
    return p;
}

// The first sector of a copy cannot be read: the scan could not have seen that copy start.
bool StartUnreadable(IKivDevStor* pStor, uint64_t nStart) {
    uint32_t z = pStor ? pStor->GetSectorSize() : 0;
    if (!z || nStart >= pStor->GetSectorCount()) return false;
    std::vector<uint8_t> buf(z);
    KivBadRanges bad;
    return pStor->ReadSectorsEx(buf.data(), nStart, 1, 0, &bad) && !bad.empty();
}

// Mends the sectors of pUse that pOther can give; answers how many were taken.
uint32_t Mend(CKivFatTableBase* pUse, CKivFatTableBase* pOther) {
    if (!pUse || !pOther) return 0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < pUse->SectorCount(); ++i) {
        bool bBad = pUse->IsSectorUnreadable(i) || !pUse->SectorLooksValid(i);
        if (bBad && !pOther->IsSectorUnreadable(i) && pOther->SectorLooksValid(i)) {
            pUse->TakeSector(i, *pOther);
            ++n;
        }
    }
    return n;
}

}  // namespace

void CKivDoubleFatTable::Load(IKivDevStor* pStor, int32_t nType, uint64_t nFatStart, uint32_t nSectorsPerFat,
                              bool bUseFirst, bool bUseSecond) {
    m_pFirst.reset();
    m_pSecond.reset();
    m_nLost = m_nTaken = 0;
    if (!bUseFirst && !bUseSecond) return;
    const uint64_t nSecond = nFatStart + nSectorsPerFat;
    bool bFirst = bUseFirst || StartUnreadable(pStor, nFatStart);
    bool bSecond = bUseSecond || StartUnreadable(pStor, nSecond);
    auto first = bFirst ? LoadCopy(pStor, nType, nFatStart, nSectorsPerFat) : nullptr;
    auto second = bSecond ? LoadCopy(pStor, nType, nSecond, nSectorsPerFat) : nullptr;
    // Each copy as it reads, then each mended from the other: the one in use keeps its own
    // sectors wherever they are good.
    std::unique_ptr<CKivFatTableBase> firstOwn;
    if (first && second) {
        firstOwn = NewTable(nType);
        *firstOwn = *first;
    }
    uint32_t nTakenFirst = Mend(first.get(), second.get());
    uint32_t nTakenSecond = Mend(second.get(), firstOwn ? firstOwn.get() : nullptr);
    if (bUseFirst && first && first->IsValid()) {
        m_pFirst = std::move(first);
        m_nTaken = nTakenFirst;
        m_nLost = m_pFirst->UnreadableSectors();
    } else if (bUseSecond && second && second->IsValid()) {
        m_pSecond = std::move(second);
        m_nTaken = nTakenSecond;
        m_nLost = m_pSecond->UnreadableSectors();
    }
    if (m_nTaken || m_nLost)
        KivLogA(0, "FAT at sector %llu: %u sectors taken from the other copy, %u unreadable in both",
                static_cast<unsigned long long>(nFatStart), m_nTaken, m_nLost);
}

uint32_t CKivDoubleFatTable::GetEntry(uint32_t nCluster) {
    if (m_pFirst) return m_pFirst->GetEntry(nCluster);
    if (m_pSecond) return m_pSecond->GetEntry(nCluster);
    return KIV_FAT_FREE;
}
