#include "CKivFat16Table.h"

#include "KivByteReader.h"

uint32_t CKivFat16Table::GetEntry(uint32_t nCluster) {
    if (nCluster >= m_nEntries) return KIV_FAT_FREE;
    uint32_t v = KivByteReader(m_data).U16At(size_t(nCluster) * 2);
    if (v == 0xFFF7) return KIV_FAT_BAD;
    if (v >= 0xFFF8) return KIV_FAT_EOC;
    return v;
}

bool CKivFat16Table::IsValid() {
    KivByteReader r(m_data);
    return r.Has(0, 4) && KivFat16Start(r.U32At(0)) && CheckStructure();
}
