// What the fuzz targets share: the input as a device of sectors (zeros past the input, up to a
// stated size), and a disk of the device library over the same bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "IKivDevStor.h"

// The input as sectors; a partial last sector is padded with zeros, sectors past the input up to
// nSectors read as zeros.
class KivFuzzDevStor : public IKivDevStor {
public:
    KivFuzzDevStor(std::span<const uint8_t> data, uint32_t nSectorSize = 512, uint64_t nMinSectors = 0)
        : m_data(data.begin(), data.end()), m_nSectorSize(nSectorSize) {
        m_nSectors = std::max<uint64_t>((data.size() + nSectorSize - 1) / nSectorSize, nMinSectors);
    }
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) return 0;
        auto* p = static_cast<uint8_t*>(pBuf);
        uint64_t from = nFirst * m_nSectorSize, len = nCount * m_nSectorSize;
        uint64_t have = from < m_data.size() ? std::min<uint64_t>(len, m_data.size() - from) : 0;
        if (have) std::memcpy(p, m_data.data() + from, have);
        std::memset(p + have, 0, len - have);
        return 1;
    }
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

private:
    std::vector<uint8_t> m_data;
    uint32_t m_nSectorSize;
    uint64_t m_nSectors;
};
