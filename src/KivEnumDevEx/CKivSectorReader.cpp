#include "CKivSectorReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/KivBlockDev.h"

// What one Read hands back besides the bytes: the sectors it answered with zeros, in order.
struct CKivSectorReader::Request {
    uint32_t nFlags = 0;
    uint32_t nSectorSize = 512;
    KivBadRanges bad;
    void Zeroed(uint8_t* p, uint64_t nFirst, uint64_t nEnd, uint32_t nKind) {
        std::memset(p, 0, (nEnd - nFirst) * nSectorSize);
        if (!bad.empty() && bad.back().nEnd == nFirst && bad.back().nKind == nKind)
            bad.back().nEnd = nEnd;
        else
            bad.push_back({nFirst, nEnd, nKind});
    }
};

void CKivSectorReader::Attach(int fd, uint64_t nDeviceBytes) {
    m_fd = fd;
    m_nDeviceBytes = nDeviceBytes;
}

int64_t CKivSectorReader::RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    auto* p = static_cast<uint8_t*>(pBuf);
    uint64_t got = 0;
    while (got < nBytes) {
        int64_t r = KivReadAt(m_fd, p + got, nBytes - got, nOffset + got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<uint64_t>(r);
    }
    return static_cast<int64_t>(got);
}

bool CKivSectorReader::ReadWhole(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    const uint64_t nBytes = nCount * m_nSectorSize;
    uint64_t off = 0;
    if (__builtin_mul_overflow(nFirst, uint64_t(m_nSectorSize), &off) || off >= m_nDeviceBytes) {
        m_nLastError = EINVAL;
        return false;
    }
    // A device (an image file) whose size is not a whole number of sectors ends in a short sector;
    // the bytes past its end read as zeros.
    uint64_t expect = std::min(nBytes, m_nDeviceBytes - off);
    ++m_nReads;
    errno = 0;
    int64_t got = RawRead(pBuf, off, nBytes);
    if (got < 0 || static_cast<uint64_t>(got) < expect) {
        ++m_nFailed;
        m_nLastError = errno ? errno : EIO;
        return false;
    }
    if (expect < nBytes) std::memset(static_cast<uint8_t*>(pBuf) + expect, 0, nBytes - expect);
    return true;
}

uint64_t CKivSectorReader::MeasureBadArea(uint64_t nFirst) {
    std::vector<uint8_t> probe(kProbeSectors * m_nSectorSize);
    uint64_t d = kProbeFirstStep;
    uint64_t end = nFirst + kProbeSectors * kProbeMinStep;
    const uint64_t nDevSectors = DeviceSectors();
    for (;;) {
        uint64_t at = nFirst + kProbeSectors * d;
        // A probe past the device end proves nothing: treating it as damage would write off the
        // whole rest of a small medium.
        bool bInside = at >= nFirst && at < nDevSectors;
        if (bInside && !ReadWhole(probe.data(), at, std::min(kProbeSectors, nDevSectors - at))) {
            end = at;
            break;
        }
        d /= 2;
        if (d < kProbeMinStep) break;
    }
    return std::min(end, nDevSectors);
}

uint64_t CKivSectorReader::FindReadable(uint64_t nFrom, uint64_t nLimit) {
    nLimit = std::min(nLimit, DeviceSectors());
    if (nFrom >= nLimit) return nLimit;
    std::vector<uint8_t> one(m_nSectorSize);
    // Steps doubling from the crowd bound until a sector reads (the last sector before the limit
    // is always tried), then halving back between the last failure and that sector. A region with
    // readable islands ends at its first island; the retry meets the rest as a new crowd.
    uint64_t lo = nFrom, hi = nLimit;
    for (uint64_t d = 0;; d = d ? d * 2 : kRegionFailures) {
        uint64_t at = std::min(nFrom + d, nLimit - 1);
        if (ReadWhole(one.data(), at, 1)) {
            hi = at;
            break;
        }
        lo = at + 1;
        if (at == nLimit - 1) return nLimit;
    }
    while (lo < hi) {
        uint64_t mid = lo + (hi - lo) / 2;
        if (ReadWhole(one.data(), mid, 1))
            hi = mid;
        else
            lo = mid + 1;
    }
    return hi;
}

void CKivSectorReader::OnSectorFailed(uint64_t nSector, bool bUntried) {
    std::unique_lock<std::mutex> lk(m_mtx);
    m_map.MarkFailed(nSector, nSector + 1);
    bool bNear = m_nRegionFails && nSector >= m_nRegionLast && nSector - m_nRegionLast <= kRegionGap;
    m_nRegionFails = bNear ? m_nRegionFails + 1 : 1;
    m_nRegionLast = nSector;
    if (m_nRegionFails < kRegionFailures) return;
    m_nRegionFails = 0;
    if (bUntried) {
        // A retry that meets the same crowd of failures gives up on the region, but only as far as
        // it reaches: the scan's probes are coarse, and what they wrote off past the region's end
        // holds readable sectors that recovery still wants. No area the probes mark is longer than
        // the first probe step.
        lk.unlock();
        uint64_t nEnd = FindReadable(nSector + 1, nSector + 1 + kProbeFirstStep * kProbeSectors);
        lk.lock();
        m_map.GiveUpRetry(nSector + 1, nEnd);
        return;
    }
    lk.unlock();
    uint64_t nEnd = MeasureBadArea(nSector + 1);
    lk.lock();
    m_map.MarkUntried(nSector + 1, nEnd);
}

void CKivSectorReader::ReadPiece(uint8_t* p, uint64_t nFirst, uint64_t nCount, bool bUntried, Request& req) {
    if (ReadWhole(p, nFirst, nCount)) {
        if (bUntried) {
            std::lock_guard<std::mutex> g(m_mtx);
            m_map.Clear(nFirst, nFirst + nCount);
        }
        return;
    }
    if (nCount == 1) {
        OnSectorFailed(nFirst, bUntried);
        req.Zeroed(p, nFirst, nFirst + 1, KIV_BAD_FAILED);
        return;
    }
    // Sector by sector, each through the map so that a region written off meanwhile is not read
    // again: on a disk whose every failing read takes long, each bad sector then costs one more
    // failing read, where halving paid one for every level down to it.
    for (uint64_t i = 0; i < nCount; ++i) ReadRange(p + i * m_nSectorSize, nFirst + i, 1, req);
}

void CKivSectorReader::ReadRange(uint8_t* p, uint64_t nFirst, uint64_t nCount, Request& req) {
    const uint64_t nEnd = nFirst + nCount;
    for (uint64_t pos = nFirst; pos < nEnd;) {
        CKivBadAreaMap::Area area;
        bool bInArea = false;
        uint64_t nNext = UINT64_MAX;
        {
            std::lock_guard<std::mutex> g(m_mtx);
            if (const CKivBadAreaMap::Area* a = m_map.Find(pos, nullptr, &nNext)) {
                area = *a;
                bInArea = true;
            }
        }
        uint8_t* pAt = p + (pos - nFirst) * m_nSectorSize;
        if (!bInArea) {
            uint64_t e = std::min(nEnd, nNext);
            ReadPiece(pAt, pos, e - pos, false, req);
            pos = e;
            continue;
        }
        uint64_t e = std::min(nEnd, area.nEnd);
        bool bRetry = area.nKind == KIV_BAD_UNTRIED && (req.nFlags & KIV_READ_RETRY_UNTRIED) && !area.bNoRetry;
        if (bRetry)
            ReadPiece(pAt, pos, e - pos, true, req);
        else
            req.Zeroed(pAt, pos, e, area.nKind);
        pos = e;
    }
}

int CKivSectorReader::Read(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    uint64_t nBytes = 0;
    if (!pBuf || __builtin_mul_overflow(nCount, uint64_t(m_nSectorSize), &nBytes) || nBytes >= (1ull << 32))
        return 0;
    if (m_fd < 0) {
        std::memset(pBuf, 0, nBytes);
        return 0;
    }
    if (nCount == 0) return 1;
    if (nFirst + nCount < nFirst) {
        std::memset(pBuf, 0, nBytes);
        return 0;
    }
    Request req;
    req.nFlags = nFlags;
    req.nSectorSize = m_nSectorSize;
    int nErrBefore = m_nLastError;
    m_nLastError = 0;
    ReadRange(static_cast<uint8_t*>(pBuf), nFirst, nCount, req);
    // The caller wants the failure of its own reads, not of a probe after them; a read that met
    // no failure leaves the last one standing.
    if (m_nLastError == 0) m_nLastError = nErrBefore;
    if (pBad) *pBad = std::move(req.bad);
    return 1;
}

KivBadRanges CKivSectorReader::GetBadAreas() const {
    KivBadRanges out;
    std::lock_guard<std::mutex> g(m_mtx);
    m_map.List(&out);
    return out;
}

void CKivSectorReader::AddBadAreas(const KivBadRanges& areas) {
    std::lock_guard<std::mutex> g(m_mtx);
    for (const KivBadRange& r : areas) {
        if (r.nFirst >= r.nEnd) continue;
        if (r.nKind == KIV_BAD_UNTRIED)
            m_map.MarkUntried(r.nFirst, r.nEnd);
        else
            m_map.MarkFailed(r.nFirst, r.nEnd, true);
    }
}
