#include "Raw/CBufferStorageDevice.h"

#include <sys/mman.h>

#include <cstring>

#include "KivByteReader.h"

bool CBufferStorageDevice::Init(IKivDevStor* pInner, uint64_t nFirst, uint32_t nSectorSize, uint32_t nPushSectors,
                                uint32_t nBlocks) {
    Close();
    m_pInner = pInner;
    m_nSectorSize = nSectorSize > 0 ? nSectorSize : 512;
    m_nPush = nPushSectors;
    m_nBlocks = nBlocks;
    m_nFirstHeld = nFirst;
    uint64_t nBytes = 0;
    if (nPushSectors == 0 || nBlocks == 0 || KivMulOverflows(m_nPush, m_nBlocks, &m_nCapacity) ||
        KivAddOverflows(m_nCapacity, m_nPush, &m_nSlots) || KivMulOverflows(m_nSlots, m_nSectorSize, &nBytes))
        return false;
    // Large pages where the system offers them: the scan writes the whole ring over and over.
    constexpr uint64_t kAlign = 2u << 20;
    uint64_t nAlloc = (nBytes + kAlign - 1) / kAlign * kAlign;
    m_ring.reset(static_cast<uint8_t*>(std::aligned_alloc(kAlign, nAlloc)));
    if (!m_ring) return false;
    ::madvise(m_ring.get(), nAlloc, MADV_HUGEPAGE);
    std::memset(m_ring.get(), 0, nBytes);
    m_bValid = true;
    return true;
}

void CBufferStorageDevice::Push(const uint8_t* pData, uint64_t nFirst) {
    if (!m_bValid) return;
    std::memcpy(StagingBlock(), pData, m_nPush * m_nSectorSize);
    PushStaged(nFirst);
}

uint8_t* CBufferStorageDevice::StagingBlock() { return m_bValid ? m_ring.get() + m_nWrite * m_nSectorSize : nullptr; }

void CBufferStorageDevice::PushStaged(uint64_t nFirst) {
    if (!m_bValid) return;
    if (nFirst != m_nFirstHeld + m_nHeld) {
        // Restart: the staging block becomes the only one held.
        m_nFirstHeld = nFirst;
        m_nHeld = 0;
    }
    m_nWrite = (m_nWrite + m_nPush) % m_nSlots;
    if (m_nHeld < m_nCapacity)
        m_nHeld += m_nPush;
    else
        m_nFirstHeld += m_nPush;  // the oldest block becomes the staging block
}

int CBufferStorageDevice::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    if (m_bValid && nFirst >= m_nFirstHeld && nFirst - m_nFirstHeld <= m_nHeld &&
        nCount <= m_nHeld - (nFirst - m_nFirstHeld)) {
        // The held sectors end just before the staging block.
        uint64_t e = (m_nWrite + m_nSlots - m_nHeld + (nFirst - m_nFirstHeld)) % m_nSlots;
        uint64_t n1 = nCount < m_nSlots - e ? nCount : m_nSlots - e;
        auto* pOut = static_cast<uint8_t*>(pBuf);
        std::memcpy(pOut, m_ring.get() + e * m_nSectorSize, n1 * m_nSectorSize);
        if (n1 < nCount) std::memcpy(pOut + n1 * m_nSectorSize, m_ring.get(), (nCount - n1) * m_nSectorSize);
        return 1;
    }
    return m_pInner ? m_pInner->ReadSectors(pBuf, nFirst, nCount) : 0;
}

int CBufferStorageDevice::Close() {
    m_ring.reset();
    m_bValid = false;
    m_nHeld = 0;
    m_nWrite = 0;
    return 1;
}
