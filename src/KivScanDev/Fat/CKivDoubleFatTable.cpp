#include "CKivDoubleFatTable.h"

#include "CKivFat12Table.h"
#include "CKivFat16Table.h"
#include "CKivFat32Table.h"
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

std::unique_ptr<IKivRealFatTable> LoadCopy(IKivDevStor* pStor, int32_t nType, uint64_t nStart, uint32_t nSpf) {
    auto p = CKivDoubleFatTable::NewTable(nType);
    if (!p) return nullptr;
    if (!p->Load(pStor, nStart, nSpf) || !p->IsValid()) return nullptr;
    return p;
}

}  // namespace

void CKivDoubleFatTable::Load(IKivDevStor* pStor, int32_t nType, uint64_t nFatStart, uint32_t nSectorsPerFat,
                              bool bUseFirst, bool bUseSecond) {
    m_pFirst.reset();
    m_pSecond.reset();
    if (bUseFirst) m_pFirst = LoadCopy(pStor, nType, nFatStart, nSectorsPerFat);
    if (!m_pFirst && bUseSecond) m_pSecond = LoadCopy(pStor, nType, nFatStart + nSectorsPerFat, nSectorsPerFat);
}

uint32_t CKivDoubleFatTable::GetEntry(uint32_t nCluster) {
    if (m_pFirst) return m_pFirst->GetEntry(nCluster);
    if (m_pSecond) return m_pSecond->GetEntry(nCluster);
    return KIV_FAT_FREE;
}
