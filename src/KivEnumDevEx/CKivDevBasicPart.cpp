#include "CKivDevBasicPart.h"

#include <cstring>

int CKivDevBasicPart::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    if (!pBuf || !m_pDisk || nFirst >= m_nCount || nCount > m_nCount) return 0;
    uint64_t n = nCount <= m_nCount - nFirst ? nCount : m_nCount - nFirst;
    uint64_t nSize = GetSectorSize();
    int r = m_pDisk->ReadSectors(pBuf, m_nFirst + nFirst, n);
    if (n < nCount) std::memset(static_cast<uint8_t*>(pBuf) + n * nSize, 0, (nCount - n) * nSize);
    return r;
}
