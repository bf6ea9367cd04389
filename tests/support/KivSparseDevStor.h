// A large test device that holds real bytes only at its start: every sector past them reads as
// zeros. Lets a test state a device of gigabytes without holding them, and counts what is read.
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
        uint64_t from = nFirst * m_nSectorSize, len = nCount * m_nSectorSize;
        uint64_t have = from < m_head.size() ? std::min<uint64_t>(len, m_head.size() - from) : 0;
        if (have) std::memcpy(p, m_head.data() + from, have);
        std::memset(p + have, 0, len - have);
        return 1;
    }
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
};
