#include "CKivFat12Table.h"

#include "KivByteReader.h"

uint32_t CKivFat12Table::GetEntry(uint32_t nCluster) {
    if (nCluster >= m_nEntries) return KIV_FAT_FREE;
    KivByteReader r(m_data);
    size_t off = size_t(nCluster) * 3 / 2;
    uint32_t w = r.Has(off, 2) ? r.U16At(off) : r.U8At(off);
    uint32_t v = (nCluster & 1) ? (w >> 4) : (w & 0xFFF);
    if (v == 0xFF7) return KIV_FAT_BAD;
    if (v >= 0xFF8) return KIV_FAT_EOC;
    return v;
}

bool CKivFat12Table::IsValid() {
    KivByteReader r(m_data);
    return r.Has(0, 4) && KivFat12Start(r.U32At(0));
}
