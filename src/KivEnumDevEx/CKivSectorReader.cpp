#include "CKivSectorReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

void CKivSectorReader::Attach(int fd, uint64_t nDeviceBytes) {
    m_fd = fd;
    m_nDeviceBytes = nDeviceBytes;
}

int64_t CKivSectorReader::RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    auto* p = static_cast<uint8_t*>(pBuf);
    uint64_t got = 0;
    while (got < nBytes) {
        ssize_t r = ::pread(m_fd, p + got, nBytes - got, static_cast<off_t>(nOffset + got));
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
    errno = 0;
    int64_t got = RawRead(pBuf, off, nBytes);
    if (got < 0 || static_cast<uint64_t>(got) < expect) {
        m_nLastError = errno ? errno : EIO;
        return false;
    }
    if (expect < nBytes) std::memset(static_cast<uint8_t*>(pBuf) + expect, 0, nBytes - expect);
    return true;
}

bool CKivSectorReader::InBadArea(uint64_t nFirst, uint64_t nCount) const {
    // Half-open ranges: an area that merely touches the request's end does not cover any of it.
    const uint64_t nEnd = nFirst + nCount;
    auto it = m_bad.lower_bound(nEnd);  // first area starting at or after the request end
    while (it != m_bad.begin()) {
        --it;
        if (it->second > nFirst) return true;
        // No area is longer than the first probe step, so earlier ones cannot reach the request.
        constexpr uint64_t kMaxLen = kProbeFirstStep * kProbeSectors;
        if (nFirst >= kMaxLen && it->first <= nFirst - kMaxLen) break;
    }
    return false;
}

void CKivSectorReader::MeasureBadArea(uint64_t nFirst) {
    std::vector<uint8_t> probe(kProbeSectors * m_nSectorSize);
    uint64_t d = kProbeFirstStep;
    uint64_t end = nFirst + kProbeSectors * kProbeMinStep;
    const uint64_t nDevSectors = (m_nDeviceBytes + m_nSectorSize - 1) / m_nSectorSize;
    for (;;) {
        uint64_t at = nFirst + kProbeSectors * d;
        // A probe past the device end proves nothing: treating it as damage would write off the
        // whole rest of a small medium for one bad sector.
        bool bInside = at >= nFirst && at < nDevSectors;
        if (bInside && !ReadWhole(probe.data(), at, kProbeSectors)) {
            end = at;
            break;
        }
        d /= 2;
        if (d < kProbeMinStep) break;
    }
    std::lock_guard<std::mutex> g(m_mtx);
    m_bad.emplace(nFirst, end);  // an area already entered under this first sector stays
}

int CKivSectorReader::Read(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    uint64_t nBytes = 0;
    if (!pBuf || __builtin_mul_overflow(nCount, uint64_t(m_nSectorSize), &nBytes) || nBytes >= (1ull << 32))
        return 0;
    if (m_fd < 0) {
        std::memset(pBuf, 0, nBytes);
        return 0;
    }
    if (nCount == 0) return 1;
    {
        std::lock_guard<std::mutex> g(m_mtx);
        if (InBadArea(nFirst, nCount)) {
            std::memset(pBuf, 0, nBytes);
            return 1;
        }
    }
    if (ReadWhole(pBuf, nFirst, nCount)) return 1;
    int err = m_nLastError;
    std::memset(pBuf, 0, nBytes);
    MeasureBadArea(nFirst);
    m_nLastError = err;  // the caller wants the failure of its own read, not of a probe
    return 1;
}

std::vector<std::pair<uint64_t, uint64_t>> CKivSectorReader::GetBadAreas() const {
    std::lock_guard<std::mutex> g(m_mtx);
    return {m_bad.begin(), m_bad.end()};
}
