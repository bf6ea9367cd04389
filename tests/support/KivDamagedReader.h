// Damaged media for tests, read through the device library's own sector reader: reads that touch a
// chosen sector fail with EIO, every device access is recorded. The data comes from the open file
// (CKivImageStor over a KivDamagedReader) or from memory (KivDamagedMemStor).
#pragma once

#include <cerrno>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "CKivSectorReader.h"
#include "IKivDevStor.h"

class KivDamagedReader : public CKivSectorReader {
public:
    explicit KivDamagedReader(uint32_t nSectorSize = 512) : CKivSectorReader(nSectorSize) {}
    std::set<uint64_t> badSectors;
    std::vector<std::pair<uint64_t, uint64_t>> accesses;  // first sector, count
    const std::vector<uint8_t>* pData = nullptr;           // serve from memory instead of the file

    void AddBad(uint64_t nFirst, uint64_t nEnd) {
        for (uint64_t s = nFirst; s < nEnd; ++s) badSectors.insert(s);
    }

protected:
    int64_t RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override {
        uint64_t z = GetSectorSize(), first = nOffset / z, n = (nBytes + z - 1) / z;
        accesses.emplace_back(first, n);
        auto it = badSectors.lower_bound(first);
        if (it != badSectors.end() && *it < first + n) {
            errno = EIO;
            return -1;
        }
        if (!pData) return CKivSectorReader::RawRead(pBuf, nOffset, nBytes);
        if (nOffset >= pData->size()) return 0;
        uint64_t k = std::min<uint64_t>(nBytes, pData->size() - nOffset);
        std::memcpy(pBuf, pData->data() + nOffset, k);
        return static_cast<int64_t>(k);
    }
};

// Sectors in memory behind a damaged reader.
class KivDamagedMemStor : public IKivDevStor {
public:
    explicit KivDamagedMemStor(std::vector<uint8_t> data, uint32_t nSectorSize = 512)
        : m_data(std::move(data)), m_reader(nSectorSize) {
        m_reader.pData = &m_data;
        m_reader.Attach(0, m_data.size());  // no file behind it: RawRead serves from m_data
    }
    KivDamagedReader& Reader() { return m_reader; }
    std::vector<uint8_t>& Data() { return m_data; }

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
    }
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override {
        if (pBad) pBad->clear();
        uint64_t n = GetSectorCount();
        if (nFirst > n || nCount > n - nFirst) return 0;
        return m_reader.Read(pBuf, nFirst, nCount, nFlags, pBad);
    }
    int GetBadAreas(KivBadRanges* pOut) override {
        *pOut = m_reader.GetBadAreas();
        return 1;
    }
    int AddBadAreas(const KivBadRanges& areas) override {
        m_reader.AddBadAreas(areas);
        return 1;
    }
    uint64_t GetSectorCount() override { return m_data.size() / m_reader.GetSectorSize(); }
    uint32_t GetSectorSize() override { return m_reader.GetSectorSize(); }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

private:
    std::vector<uint8_t> m_data;
    KivDamagedReader m_reader;
};
