#include "CKivFat32Table.h"

#include "KivByteReader.h"

uint32_t CKivFat32Table::GetEntry(uint32_t nCluster) {
    if (nCluster >= m_nEntries) return KIV_FAT_FREE;
    // The top four bits are reserved and not part of the entry.
    uint32_t v = KivByteReader(m_data).U32At(size_t(nCluster) * 4) & 0x0FFFFFFFu;
    if (v == 0x0FFFFFF7u) return KIV_FAT_BAD;
    if (v >= 0x0FFFFFF8u) return KIV_FAT_EOC;
    return v;
}

bool CKivFat32Table::IsValid() {
    KivByteReader r(m_data);
    return r.Has(0, 8) && KivFat32Start(r.U32At(0), r.U32At(4)) && CheckStructure();
}
