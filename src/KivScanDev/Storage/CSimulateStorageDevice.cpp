#include "CSimulateStorageDevice.h"

#include <algorithm>
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
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CSimulateStorageDevice::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags,
                                          KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!m_pInner || !pBuf) return 0;
    uint64_t nSecs = GetSectorCount();
    if (nFirst > nSecs || nCount > nSecs - nFirst) return 0;
    auto* pDst = static_cast<uint8_t*>(pBuf);
    const uint64_t nInnerBytes = uint64_t(m_nRatio) * 512;
    const uint64_t nEnd = nFirst + nCount;
    KivBadRanges inner;
    // Inner sectors that read as zeros, as the part of [nFirst, nEnd) they cover in our numbers.
    auto addBad = [&](uint64_t nFrom, uint64_t nTo) {
        if (!pBad) return;
        for (const KivBadRange& r : inner) {
            uint64_t f = std::max(r.nFirst * m_nRatio, nFrom), e = std::min(r.nEnd * m_nRatio, nTo);
            if (f >= e) continue;
            if (!pBad->empty() && pBad->back().nEnd == f && pBad->back().nKind == r.nKind) pBad->back().nEnd = e;
            else pBad->push_back({f, e, r.nKind});
        }
    };
    uint64_t s = nFirst;
    while (s < nEnd) {
        uint64_t nInner = s / m_nRatio;
        uint64_t off = s % m_nRatio;
        if (off == 0 && nEnd - s >= m_nRatio && m_nHeldPlusOne != nInner + 1) {
            // Whole inner sectors go straight into the destination in one read.
            uint64_t n = (nEnd - s) / m_nRatio;
            if (!m_pInner->ReadSectorsEx(pDst, nInner, n, nFlags, &inner)) return 0;
            addBad(s, s + n * m_nRatio);
            // The last one stays held, as a sector-by-sector read would have left it.
            std::memcpy(m_pSector.get(), pDst + (n - 1) * nInnerBytes, nInnerBytes);
            m_nHeldPlusOne = inner.empty() || inner.back().nEnd < nInner + n ? nInner + n : 0;
            pDst += n * nInnerBytes;
            s += n * m_nRatio;
            continue;
        }
        if (m_nHeldPlusOne != nInner + 1) {
            m_nHeldPlusOne = 0;
            if (!m_pInner->ReadSectorsEx(m_pSector.get(), nInner, 1, nFlags, &inner)) return 0;
            if (!inner.empty()) {
                // An unreadable sector is not kept: a later read may try it again.
                uint64_t e = std::min(nEnd, (nInner + 1) * m_nRatio);
                addBad(s, e);
                std::memset(pDst, 0, (e - s) * 512);
                pDst += (e - s) * 512;
                s = e;
                continue;
            }
            m_nHeldPlusOne = nInner + 1;
        }
        std::memcpy(pDst, m_pSector.get() + off * 512, 512);
        pDst += 512;
        ++s;
    }
    return 1;
}

int CSimulateStorageDevice::FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
    uint64_t f = 0, e = 0;
    const uint64_t n = GetSectorCount();
    if (!m_pInner || m_nRatio == 0 || nSector >= n || !m_pInner->FindData(nSector / m_nRatio, &f, &e))
        return IKivDevStor::FindData(nSector, pFirst, pEnd);
    uint64_t nFirst = std::max(nSector, std::min(n, f * m_nRatio));
    if (pFirst) *pFirst = nFirst;
    if (pEnd) *pEnd = std::max(nFirst, std::min(n, e * m_nRatio));
    return 1;
}
