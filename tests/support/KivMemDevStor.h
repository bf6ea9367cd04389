// Test storages: sectors held in memory, or read from a file. Both count reads so
// tests can tell whether a device access happened, and both can be damaged: sectors in
// m_badSectors read as zeros and are listed as failed, sectors in m_untried read as zeros listed as
// untried unless the read asks for a retry (then they read fine), as the device library's reader
// answers.
#pragma once

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "IKivDevStor.h"
#include "platform/KivFile.h"

class KivDamageSim {
public:
    std::set<uint64_t> m_badSectors;
    std::set<uint64_t> m_untried;
    void AddBad(uint64_t nFirst, uint64_t nEnd) {
        for (uint64_t s = nFirst; s < nEnd; ++s) m_badSectors.insert(s);
    }

protected:
    // Zeroes and lists the damaged sectors of a read that succeeded.
    void Apply(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint32_t z, uint32_t nFlags, KivBadRanges* pBad) const {
        auto add = [&](uint64_t s, uint32_t kind) {
            std::memset(p + (s - nFirst) * z, 0, z);
            if (!pBad) return;
            if (!pBad->empty() && pBad->back().nEnd == s && pBad->back().nKind == kind) ++pBad->back().nEnd;
            else pBad->push_back({s, s + 1, kind});
        };
        auto bad = m_badSectors.lower_bound(nFirst);
        auto untried = m_untried.lower_bound(nFirst);
        bool bRetry = nFlags & KIV_READ_RETRY_UNTRIED;
        for (;;) {
            uint64_t b = bad != m_badSectors.end() && *bad < nFirst + nCount ? *bad : UINT64_MAX;
            uint64_t u = !bRetry && untried != m_untried.end() && *untried < nFirst + nCount ? *untried : UINT64_MAX;
            if (b == UINT64_MAX && u == UINT64_MAX) break;
            if (b <= u) {
                add(b, KIV_BAD_FAILED);
                ++bad;
                if (u == b) ++untried;
            } else {
                add(u, KIV_BAD_UNTRIED);
                ++untried;
            }
        }
    }
};

class KivMemDevStor : public IKivDevStor, public KivDamageSim {
public:
    KivMemDevStor(std::vector<uint8_t> data, uint32_t nSectorSize = 512)
        : m_data(std::move(data)), m_nSectorSize(nSectorSize) {}
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
    }
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override {
        if (pBad) pBad->clear();
        ++m_nReads;
        m_nSectorsRead += nCount;
        uint64_t nSecs = GetSectorCount();
        if (nFirst > nSecs || nCount > nSecs - nFirst || m_bFail) return 0;
        std::memcpy(pBuf, m_data.data() + nFirst * m_nSectorSize, nCount * m_nSectorSize);
        Apply(static_cast<uint8_t*>(pBuf), nFirst, nCount, m_nSectorSize, nFlags, pBad);
        return 1;
    }
    uint64_t GetSectorCount() override { return m_data.size() / m_nSectorSize; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

    std::vector<uint8_t> m_data;
    uint32_t m_nSectorSize;
    uint64_t m_nReads = 0;
    uint64_t m_nSectorsRead = 0;
    bool m_bFail = false;
};

class KivFileDevStor : public IKivDevStor, public KivDamageSim {
public:
    explicit KivFileDevStor(const std::string& path, uint32_t nSectorSize = 512) : m_nSectorSize(nSectorSize) {
        if (m_file.Open(path, CKivFile::Mode::kRead) && !m_file.Size(&m_nSize)) m_file.Close();
    }
    bool IsOpen() const { return m_file.IsOpen(); }
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
    }
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override {
        if (pBad) pBad->clear();
        uint64_t nSecs = GetSectorCount();
        if (!IsOpen() || nFirst > nSecs || nCount > nSecs - nFirst) return 0;
        size_t want = nCount * m_nSectorSize;
        auto* p = static_cast<uint8_t*>(pBuf);
        int64_t r = m_file.ReadAt(nFirst * m_nSectorSize, p, want);
        size_t got = r > 0 ? static_cast<size_t>(r) : 0;
        if (got < want) std::memset(p + got, 0, want - got);  // a partial last sector reads as zeros
        Apply(p, nFirst, nCount, m_nSectorSize, nFlags, pBad);
        return 1;
    }
    uint64_t GetSectorCount() override { return (m_nSize + m_nSectorSize - 1) / m_nSectorSize; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return IsOpen(); }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }
    // With m_bHoles, the file's holes as its file system tells them.
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override {
        uint64_t n = GetSectorCount(), z = m_nSectorSize;
        if (!m_bHoles || !IsOpen() || nSector >= n) return IKivDevStor::FindData(nSector, pFirst, pEnd);
        uint64_t d = 0, h = 0;
        if (!m_file.FindData(nSector * z, &d, &h)) {
            *pFirst = *pEnd = n;
            return 1;
        }
        *pFirst = std::max<uint64_t>(nSector, d / z);
        *pEnd = std::min<uint64_t>(n, ((h < d ? d : h) + z - 1) / z);
        return 1;
    }
    bool m_bHoles = false;

private:
    CKivFile m_file;
    uint64_t m_nSize = 0;
    uint32_t m_nSectorSize;
};
