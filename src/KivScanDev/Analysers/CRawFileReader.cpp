#include "Analysers/CRawFileReader.h"

#include <algorithm>
#include <cstring>

#include "KivByteReader.h"
#include "platform/KivPlatform.h"

void CRawFileReader::Init(IKivDevStor* pStor, uint64_t nFirstSector) {
    m_pStor = pStor;
    m_nFirstSector = nFirstSector;
    m_nLoaded = ~0ull;
    m_nValid = 0;
    m_nDataEnd = kNotFound;
    m_nSectorSize = 512;
    m_nWindow = 65536;
    if (!pStor) return;
    uint32_t n = pStor->GetSectorSize();
    // A sector size the engine cannot have (0, not a multiple of 512, huge) makes every read fail.
    if (n == 0 || n % 512 != 0 || n > 65536) {
        m_pStor = nullptr;
        return;
    }
    m_nSectorSize = n;
    m_nWindow = kWindowSectors * n;
    m_buf.resize((kWindowSectors + 1) * n);
}

int64_t CRawFileReader::Load(uint64_t off) {
    if (!m_pStor) return -1;
    // The loaded window may already cover off through its overlap sector.
    if (m_nLoaded != ~0ull) {
        uint64_t base = m_nLoaded * m_nWindow;
        if (off >= base && off - base < m_nValid) return static_cast<int64_t>(off - base);
    }
    uint64_t k = off / m_nWindow;
    uint64_t first;
    if (KivMulOverflows(k, kWindowSectors, &first) || KivAddOverflows(first, m_nFirstSector, &first))
        return -1;
    m_nLoaded = ~0ull;
    m_nValid = 0;
    uint64_t nCount = kWindowSectors + 1;
    if (!m_pStor->ReadSectors(m_buf.data(), first, nCount)) {
        // The last window of the storage is partial: read what is left of it.
        uint64_t nTotal = m_pStor->GetSectorCount();
        if (first >= nTotal) {
            m_nDataEnd = std::min(m_nDataEnd, k * m_nWindow);
            return -1;
        }
        nCount = std::min<uint64_t>(nTotal - first, kWindowSectors);
        if (!m_pStor->ReadSectors(m_buf.data(), first, nCount)) return -1;
        m_nDataEnd = std::min(m_nDataEnd, k * m_nWindow + nCount * m_nSectorSize);
    }
    m_nLoaded = k;
    m_nValid = static_cast<size_t>(nCount * m_nSectorSize);
    uint64_t idx = off - k * m_nWindow;
    return idx < m_nValid ? static_cast<int64_t>(idx) : -1;
}

const uint8_t* CRawFileReader::ByteAt(uint64_t off) {
    int64_t i = Load(off);
    return i < 0 ? nullptr : m_buf.data() + i;
}

std::span<const uint8_t> CRawFileReader::Window(uint64_t off, size_t n) {
    if (n > m_nWindow) return {};
    int64_t i = Load(off);
    if (i < 0) return {};
    if (n <= m_nValid - static_cast<size_t>(i)) return {m_buf.data() + i, n};
    // Crosses the end of the loaded data: assemble it apart.
    m_scratch.resize(n);
    if (!Read(off, m_scratch.data(), n)) return {};
    return {m_scratch.data(), n};
}

std::span<const uint8_t> CRawFileReader::Stream(uint64_t off, uint64_t nMax) {
    int64_t i = Load(off);
    if (i < 0 || nMax == 0) return {};
    return {m_buf.data() + i, static_cast<size_t>(std::min<uint64_t>(nMax, m_nValid - static_cast<size_t>(i)))};
}

bool CRawFileReader::Read(uint64_t off, void* pDst, size_t n) {
    auto* p = static_cast<uint8_t*>(pDst);
    uint64_t end;
    if (KivAddOverflows(off, n, &end)) return false;
    while (n > 0) {
        int64_t i = Load(off);
        if (i < 0) return false;
        size_t take = std::min(n, m_nValid - static_cast<size_t>(i));
        std::memcpy(p, m_buf.data() + i, take);
        p += take;
        off += take;
        n -= take;
    }
    return true;
}

uint64_t CRawFileReader::Find(uint64_t from, uint64_t end, std::string_view needle, bool bIgnoreCase,
                              bool* pReadFailed) {
    if (pReadFailed) *pReadFailed = false;
    if (needle.empty() || needle.size() > kMaxNeedle) return kNotFound;
    auto fold = [bIgnoreCase](uint8_t c) { return (bIgnoreCase && c >= 'A' && c <= 'Z') ? uint8_t(c + 32) : c; };
    auto matches = [&](const uint8_t* p) {
        for (size_t k = 0; k < needle.size(); ++k)
            if (fold(p[k]) != fold(uint8_t(needle[k]))) return false;
        return true;
    };
    const uint8_t first = fold(uint8_t(needle[0]));
    uint64_t nSteps = 0;
    for (uint64_t pos = from; pos < end;) {
        int64_t i = Load(pos);
        if (i < 0) {
            if (pReadFailed) *pReadFailed = true;
            return kNotFound;
        }
        if (++nSteps % 10 == 0) KivPumpMessages();
        size_t nAvail = m_nValid - static_cast<size_t>(i);
        uint64_t nSpan = std::min<uint64_t>(nAvail, end - pos);
        const uint8_t* b = m_buf.data() + i;
        size_t j = 0;
        bool bCrosses = false;
        for (; j < nSpan; ++j) {
            if (fold(b[j]) != first) continue;
            if (needle.size() > nAvail - j) {
                bCrosses = true;
                break;
            }
            if (matches(b + j)) return pos + j;
        }
        pos += j;
        if (bCrosses) {
            // The candidate runs past the loaded data: compare a copy.
            uint8_t tmp[kMaxNeedle];
            if (!Read(pos, tmp, needle.size())) {
                if (pReadFailed) *pReadFailed = true;
                return kNotFound;
            }
            if (matches(tmp)) return pos;
            ++pos;
        }
    }
    return kNotFound;
}
