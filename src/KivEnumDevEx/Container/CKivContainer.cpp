#include "CKivContainer.h"

int64_t CKivContainer::ReadAt(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    if (nOffset >= m_info.nBytes) return 0;
    if (nBytes > m_info.nBytes - nOffset) nBytes = m_info.nBytes - nOffset;
    std::lock_guard<std::mutex> g(m_mtx);
    return DoRead(pBuf, nOffset, nBytes);
}

bool CKivContainer::Damaged(uint64_t nOffset, uint64_t nBytes, std::vector<std::pair<uint64_t, uint64_t>>* pOut) {
    std::lock_guard<std::mutex> g(m_mtx);
    return DoDamaged(nOffset, nBytes, pOut);
}

bool CKivContainer::FindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) {
    std::lock_guard<std::mutex> g(m_mtx);
    return DoFindData(nOffset, pData, pEnd);
}
