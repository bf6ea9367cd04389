// A large test device that holds real bytes only at its start (or from m_nHeadSector on): every
// other sector reads as zeros. Lets a test state a device of gigabytes without holding them, and
// counts what is read. With m_bHoles it tells where its data lies, as a sparse file does.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "IKivDevStor.h"

class KivSparseDevStor : public IKivDevStor {
public:
    KivSparseDevStor(std::vector<uint8_t> head, uint64_t nSectors, uint32_t nSectorSize = 512)
        : m_head(std::move(head)), m_nSectors(nSectors), m_nSectorSize(nSectorSize) {}
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        ++m_nReads;
        m_nSectorsRead += nCount;
        if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) return 0;
        auto* p = static_cast<uint8_t*>(pBuf);
        std::memset(p, 0, nCount * m_nSectorSize);
        uint64_t nHeadEnd = m_nHeadSector + HeadSectors();
        for (uint64_t s = std::max(nFirst, m_nHeadSector); s < std::min(nFirst + nCount, nHeadEnd); ++s) {
            uint64_t at = (s - m_nHeadSector) * m_nSectorSize;
            std::memcpy(p + (s - nFirst) * m_nSectorSize, m_head.data() + at,
                        std::min<uint64_t>(m_nSectorSize, m_head.size() - at));
        }
        return 1;
    }
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override {
        if (!m_bHoles) return IKivDevStor::FindData(nSector, pFirst, pEnd);
        uint64_t nHeadEnd = std::min(m_nSectors, m_nHeadSector + HeadSectors());
        bool bBefore = nSector < nHeadEnd;
        *pFirst = bBefore ? std::max(nSector, m_nHeadSector) : m_nSectors;
        *pEnd = bBefore ? nHeadEnd : m_nSectors;
        ++m_nFindData;
        return 1;
    }
    uint64_t HeadSectors() const { return (m_head.size() + m_nSectorSize - 1) / m_nSectorSize; }
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

    std::vector<uint8_t> m_head;
    uint64_t m_nSectors;
    uint32_t m_nSectorSize;
    uint64_t m_nReads = 0;
    uint64_t m_nSectorsRead = 0;
    uint64_t m_nHeadSector = 0;
    bool m_bHoles = false;
    uint64_t m_nFindData = 0;
};
