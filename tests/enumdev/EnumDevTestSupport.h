// Shared helpers of the device-library tests: the disks made by scripts/make-disk-images, a disk
// in memory that counts its reads, table sectors built by hand, and record lists that release
// themselves.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CKivDevDisk.h"
#include "CPartitionTableAnalyze.h"
#include "IKivEnumDevEx.h"
#include "platform/KivPlatform.h"

namespace kivdev_test {

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class TempDir {
public:
    TempDir() {
        static int s_nCount = 0;
        auto dir = std::filesystem::temp_directory_path() /
                   ("kiv-enumdev-" + std::to_string(KivProcessId()) + "-" + std::to_string(++s_nCount));
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        if (std::filesystem::create_directories(dir, ec)) m_path = dir.generic_string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& s) const { return m_path + "/" + s; }

private:
    std::string m_path;
};

// A disk held in memory; sectors past the data read as zeros. Counts reads.
class MemDisk : public IKivDevDisk {
public:
    MemDisk(uint64_t nSectors, uint32_t nSectorSize = 512) : m_nSectors(nSectors), m_nSize(nSectorSize) {}
    std::vector<uint8_t>& Sector(uint64_t n) {
        auto& s = m_data[n];
        if (s.empty()) s.assign(m_nSize, 0);
        return s;
    }
    void Put(uint64_t n, const std::vector<uint8_t>& bytes) {
        for (size_t off = 0; off < bytes.size(); off += m_nSize) {
            auto& s = Sector(n + off / m_nSize);
            std::memcpy(s.data(), bytes.data() + off, std::min<size_t>(m_nSize, bytes.size() - off));
        }
    }
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        ++m_nReads;
        if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) return 0;
        auto* p = static_cast<uint8_t*>(pBuf);
        for (uint64_t i = 0; i < nCount; ++i) {
            auto it = m_data.find(nFirst + i);
            if (it == m_data.end() || m_bad.count(nFirst + i)) std::memset(p + i * m_nSize, 0, m_nSize);
            else std::memcpy(p + i * m_nSize, it->second.data(), m_nSize);
        }
        return 1;  // like a real disk: unreadable sectors come back as zeros
    }
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override { return m_nSize; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }
    int IsOpen() override { return 1; }
    int32_t GetDiskNumber() override { return 0; }
    int QueryLayout(void** ppOut, uint32_t) override { return 0; }
    int64_t GetMbrSignature() override { return 0; }
    int GetDescriptor(KivDiskDescriptor* p) override {
        std::memset(p, 0, sizeof *p);
        p->nBusType = m_nBus;
        std::strcpy(p->szVendor, "Vend");
        std::strcpy(p->szProduct, "Memory disk");
        std::strcpy(p->szBusName, "Test Bus");
        return 1;
    }
    uint32_t GetMediaType() override { return KIV_MEDIA_FIXED; }
    int GetGeometry(KivDiskGeometry*) override { return 0; }
    int IsDynamic() override { return 0; }
    const char* GetPath() override { return "memory"; }
    uint64_t CountUnreadable(uint64_t nFirst, uint64_t nCount) override {
        uint64_t n = 0;
        for (uint64_t s : m_bad) n += s >= nFirst && s - nFirst < nCount;
        return n;
    }

    uint64_t m_nReads = 0;
    std::set<uint64_t> m_bad;  // sectors that read as zeros and count as unreadable
    uint32_t m_nBus = KIV_BUS_SCSI;

private:
    std::map<uint64_t, std::vector<uint8_t>> m_data;
    uint64_t m_nSectors;
    uint32_t m_nSize;
};

// An MBR or EBR sector with its signature.
struct TableSector {
    explicit TableSector(uint32_t nSize = 512) : b(nSize, 0) {
        b[510] = 0x55;
        b[511] = 0xAA;
    }
    TableSector& Entry(int i, uint8_t type, uint32_t first, uint32_t count, uint8_t boot = 0) {
        uint8_t* e = b.data() + 446 + 16 * i;
        e[0] = boot;
        e[4] = type;
        std::memcpy(e + 8, &first, 4);
        std::memcpy(e + 12, &count, 4);
        return *this;
    }
    std::vector<uint8_t> b;
};

// Partition records that release their devices.
struct PartList {
    std::vector<PartInfo> v;
    ~PartList() { KivReleasePartInfos(&v); }
    size_t size() const { return v.size(); }
    const PartInfo& operator[](size_t i) const { return v[i]; }
};

inline KivPartExtent Extent0(const PartInfo& r) {
    KivPartExtent e;
    std::memcpy(&e, &r.extents[0], sizeof e);
    return e;
}

// The basic partitions of one disk, without mount points.
inline void Analyse(IKivDevDisk* pDisk, PartList* pOut) {
    CPartitionTableAnalyze a(nullptr, "/dev");
    a.AnalyzeDisk(pDisk, &pOut->v);
}

// An image file opened as a disk; released at scope end.
struct ImageDisk {
    explicit ImageDisk(const std::string& path, uint32_t nSectorSize = 512) {
        p = new CKivDevDisk(path, nSectorSize);
        int err = 0;
        bOpen = p->OpenFirst(&err) != 0;
        nErr = err;
    }
    ~ImageDisk() { p->Release(); }
    CKivDevDisk* p;
    bool bOpen = false;
    int nErr = 0;
};

}  // namespace kivdev_test
