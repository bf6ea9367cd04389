#include "CSimulateStorageDevice.h"

#include <cstring>

CSimulateStorageDevice::CSimulateStorageDevice(IKivDevStor* pInner)
    : m_pInner(pInner), m_nRatio(pInner && pInner->GetSectorSize() >= 512 ? pInner->GetSectorSize() / 512 : 1) {
    m_pSector.reset(new uint8_t[uint64_t(m_nRatio) * 512]);
}

uint64_t CSimulateStorageDevice::GetSectorCount() {
    if (!m_pInner) return 0;
    uint64_t n = m_pInner->GetSectorCount();
    return n > UINT64_MAX / m_nRatio ? UINT64_MAX / m_nRatio * m_nRatio : n * m_nRatio;
}

int CSimulateStorageDevice::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    if (!m_pInner || !pBuf) return 0;
    uint64_t nSecs = GetSectorCount();
    if (nFirst > nSecs || nCount > nSecs - nFirst) return 0;
    auto* pDst = static_cast<uint8_t*>(pBuf);
    const uint64_t nInnerBytes = uint64_t(m_nRatio) * 512;
    uint64_t s = nFirst;
    const uint64_t nEnd = nFirst + nCount;
    while (s < nEnd) {
        uint64_t inner = s / m_nRatio;
        uint64_t off = s % m_nRatio;
        if (off == 0 && nEnd - s >= m_nRatio && m_nHeldPlusOne != inner + 1) {
            // Whole inner sectors go straight into the destination in one read.
            uint64_t n = (nEnd - s) / m_nRatio;
            if (!m_pInner->ReadSectors(pDst, inner, n)) return 0;
            // The last one stays held, as a sector-by-sector read would have left it.
            std::memcpy(m_pSector.get(), pDst + (n - 1) * nInnerBytes, nInnerBytes);
            m_nHeldPlusOne = inner + n;
            pDst += n * nInnerBytes;
            s += n * m_nRatio;
            continue;
        }
        if (m_nHeldPlusOne != inner + 1) {
            m_nHeldPlusOne = 0;
            if (!m_pInner->ReadSectors(m_pSector.get(), inner, 1)) return 0;
            m_nHeldPlusOne = inner + 1;
        }
        std::memcpy(pDst, m_pSector.get() + off * 512, 512);
        pDst += 512;
        ++s;
    }
    return 1;
}
