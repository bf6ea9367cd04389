#include "CKivMemStream.h"

#include <cstring>

int CKivMemStream::Read(void* pBuf, uint32_t nLen) {
    if (nLen > m_buf.size() - m_nReadPos) return 0;
    if (nLen == 0) return 1;
    if (!pBuf) return 0;
    std::memcpy(pBuf, m_buf.data() + m_nReadPos, nLen);
    m_nReadPos += nLen;
    return 1;
}

int CKivMemStream::Write(const void* pBuf, uint32_t nLen) {
    if (nLen == 0) return 1;
    if (!pBuf) return 0;
    const auto* p = static_cast<const uint8_t*>(pBuf);
    m_buf.insert(m_buf.end(), p, p + nLen);
    return 1;
}
