// A disk of the device library over the fuzz input (zeros past it), for the partition-table and
// dynamic-disk targets.
#pragma once

#include <cstring>

#include "IKivEnumDevEx.h"
#include "KivFuzzSupport.h"

class KivFuzzDisk : public IKivDevDisk {
public:
    KivFuzzDisk(std::span<const uint8_t> data, uint64_t nMinSectors) : m_stor(data, 512, nMinSectors) {}
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override { return m_stor.ReadSectors(pBuf, nFirst, nCount); }
    uint64_t GetSectorCount() override { return m_stor.GetSectorCount(); }
    uint32_t GetSectorSize() override { return 512; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }
    int IsOpen() override { return 1; }
    int32_t GetDiskNumber() override { return -1; }
    int QueryLayout(void**, uint32_t) override { return 0; }
    int64_t GetMbrSignature() override {
        uint8_t b[512];
        if (!ReadSectors(b, 0, 1)) return -1;
        return int64_t(uint32_t(b[440] | b[441] << 8 | b[442] << 16 | uint32_t(b[443]) << 24));
    }
    int GetDescriptor(KivDiskDescriptor* p) override {
        std::memset(p, 0, sizeof *p);
        return 1;
    }
    uint32_t GetMediaType() override { return KIV_MEDIA_FIXED; }
    int GetGeometry(KivDiskGeometry*) override { return 0; }
    int IsDynamic() override { return 0; }
    const char* GetPath() override { return "fuzz"; }
    uint64_t CountUnreadable(uint64_t, uint64_t) override { return 0; }

private:
    KivFuzzDevStor m_stor;
};

// Reads a few sectors at the start, middle and end of a partition or volume device.
inline void KivFuzzTouch(IKivDevStor* p) {
    if (!p) return;
    uint64_t n = p->GetSectorCount();
    uint32_t z = p->GetSectorSize();
    if (z == 0 || z > 65536 || z % 512) return;
    std::vector<uint8_t> buf(size_t(z) * 4);
    for (uint64_t s : {uint64_t(0), n / 2, n > 4 ? n - 4 : 0})
        if (s < n) p->ReadSectors(buf.data(), s, std::min<uint64_t>(4, n - s));
}
