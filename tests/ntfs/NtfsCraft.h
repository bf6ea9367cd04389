// Hand-made NTFS volumes for the hostile-input tests: a boot sector and MFT records put together
// field by field, so that one test can state exactly the lie it is about.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "KivScanResult.h"
#include "Ntfs/KivNtfsPartSlots.h"

namespace ntfs_craft {

constexpr uint32_t kSecPerClus = 8;  // 4 KiB clusters of 512-byte sectors
constexpr uint64_t kMftCluster = 4;
constexpr uint64_t kMirrCluster = 2;

inline void Put(std::vector<uint8_t>& v, size_t off, uint64_t x, size_t n) {
    if (v.size() < off + n) v.resize(off + n);
    for (size_t i = 0; i < n; ++i) v[off + i] = uint8_t(x >> (8 * i));
}

struct Run {
    uint64_t nLength, nLcn;
};

// Mapping pairs with 8-byte fields, which hold any length and delta.
inline std::vector<uint8_t> Pairs(const std::vector<Run>& runs) {
    std::vector<uint8_t> p;
    int64_t prev = 0;
    for (const Run& r : runs) {
        size_t at = p.size();
        p.push_back(0x88);
        Put(p, at + 1, r.nLength, 8);
        Put(p, at + 9, uint64_t(int64_t(r.nLcn) - prev), 8);
        prev = int64_t(r.nLcn);
    }
    p.push_back(0);
    return p;
}

// One 1024-byte file record, attributes appended in order; Finish() adds the end marker and the
// update-sequence fix-ups as they are on disk.
class Record {
public:
    Record(uint32_t nNumber, uint16_t nFlags, uint64_t nBaseRef = 0) : m_r(1024, 0) {
        std::memcpy(&m_r[0], "FILE", 4);
        Put(m_r, 4, 0x30, 2);  // update sequence array
        Put(m_r, 6, 3, 2);
        Put(m_r, 16, 1, 2);  // sequence
        Put(m_r, 20, 0x38, 2);
        Put(m_r, 22, nFlags, 2);  // 1 in use, 2 directory
        Put(m_r, 28, 1024, 4);
        Put(m_r, 32, nBaseRef, 8);
        Put(m_r, 44, nNumber, 4);
    }
    Record& Sequence(uint16_t nSequence) {
        Put(m_r, 16, nSequence, 2);
        return *this;
    }
    Record& StdInfo(uint32_t nAttributes) {
        std::vector<uint8_t> v(48, 0);
        Put(v, 32, nAttributes, 4);
        return Resident(0x10, v);
    }
    Record& FileName(uint64_t nParent, const std::u16string& name, uint32_t nFlags = 0, uint8_t nNamespace = 1) {
        std::vector<uint8_t> v(66 + 2 * name.size(), 0);
        Put(v, 0, nParent | (1ull << 48), 8);
        Put(v, 56, nFlags, 4);
        v[64] = uint8_t(name.size());
        v[65] = nNamespace;
        for (size_t i = 0; i < name.size(); ++i) Put(v, 66 + 2 * i, name[i], 2);
        return Resident(0x30, v);
    }
    Record& Resident(uint32_t nType, const std::vector<uint8_t>& value) {
        size_t len = (24 + value.size() + 7) / 8 * 8;
        Put(m_r, m_off, nType, 4);
        Put(m_r, m_off + 4, len, 4);
        Put(m_r, m_off + 16, value.size(), 4);
        Put(m_r, m_off + 20, 24, 2);
        std::memcpy(&m_r[m_off + 24], value.data(), value.size());
        m_off += len;
        return *this;
    }
    Record& NonResident(uint32_t nType, const std::vector<Run>& runs, uint64_t nRealSize, uint64_t nStartVcn = 0) {
        std::vector<uint8_t> pairs = Pairs(runs);
        size_t len = (64 + pairs.size() + 7) / 8 * 8;
        uint64_t clusters = 0;
        for (const Run& r : runs) clusters += r.nLength;
        Put(m_r, m_off, nType, 4);
        Put(m_r, m_off + 4, len, 4);
        m_r[m_off + 8] = 1;
        Put(m_r, m_off + 16, nStartVcn, 8);
        Put(m_r, m_off + 24, nStartVcn + clusters - 1, 8);
        Put(m_r, m_off + 32, 64, 2);
        Put(m_r, m_off + 40, clusters * kSecPerClus * 512, 8);
        Put(m_r, m_off + 48, nRealSize, 8);
        Put(m_r, m_off + 56, nRealSize, 8);
        std::memcpy(&m_r[m_off + 64], pairs.data(), pairs.size());
        m_off += len;
        return *this;
    }
    std::vector<uint8_t> Finish() {
        std::vector<uint8_t> r = m_r;
        Put(r, m_off, 0xFFFFFFFF, 4);
        Put(r, 24, m_off + 8, 4);
        Put(r, 0x30, 0x0101, 2);
        for (int s = 0; s < 2; ++s) {
            r[0x32 + 2 * s] = r[s * 512 + 510];
            r[0x33 + 2 * s] = r[s * 512 + 511];
            Put(r, s * 512 + 510, 0x0101, 2);
        }
        return r;
    }

private:
    std::vector<uint8_t> m_r;
    size_t m_off = 0x38;
};

constexpr uint32_t kHiddenSystem = 0x06;
constexpr uint16_t kInUse = 1, kDirectory = 2;

// A volume of nSectors: a boot sector, the MFT at cluster 4 and its first records copied to the
// mirror cluster. The records are placed one after the other from the MFT's start.
inline std::vector<uint8_t> Volume(uint64_t nSectors, const std::vector<std::vector<uint8_t>>& records,
                                   size_t nImageBytes = 0) {
    size_t bytes = nImageBytes ? nImageBytes : size_t(nSectors) * 512;
    std::vector<uint8_t> img(bytes, 0);
    std::memcpy(&img[3], "NTFS    ", 8);
    Put(img, 11, 512, 2);
    img[13] = kSecPerClus;
    img[21] = 0xF8;
    Put(img, 40, nSectors - 1, 8);
    Put(img, 48, kMftCluster, 8);
    Put(img, 56, kMirrCluster, 8);
    img[64] = 0xF6;  // 1024-byte records
    img[510] = 0x55;
    img[511] = 0xAA;
    size_t mft = kMftCluster * kSecPerClus * 512, mirr = kMirrCluster * kSecPerClus * 512;
    for (size_t i = 0; i < records.size(); ++i) {
        std::memcpy(&img[mft + 1024 * i], records[i].data(), 1024);
        if (i < 4) std::memcpy(&img[mirr + 1024 * i], records[i].data(), 1024);
    }
    return img;
}

// Puts a record at byte offset nByte of the image.
inline void PutRecord(std::vector<uint8_t>& img, uint64_t nByte, const std::vector<uint8_t>& rec) {
    if (img.size() < nByte + rec.size()) img.resize(nByte + rec.size());
    std::memcpy(&img[nByte], rec.data(), rec.size());
}

// The $MFT record: hidden and system, named "$MFT", with the given data runs and stated size.
inline Record MftRecord(const std::vector<Run>& runs, uint64_t nStatedBytes) {
    Record r(0, kInUse);
    r.StdInfo(kHiddenSystem).FileName(5, u"$MFT").NonResident(0x80, runs, nStatedBytes);
    return r;
}

// The partition the scanner would propose for Volume(nSectors, ...).
inline CKivScanNTFSPartInfo* Partition(uint64_t nSectors) {
    auto* p = new CKivScanNTFSPartInfo(3, 512);
    p->m_nSecPerClus = kSecPerClus;
    p->m_nSectorCount = nSectors / kSecPerClus * kSecPerClus;
    p->m_aValues32[KivNtfsSlot::kRecordBytes] = 1024;
    p->m_aValues32[KivNtfsSlot::kSecPerClus] = kSecPerClus;
    p->m_aValues64[KivNtfsSlot::kMftCluster] = kMftCluster;
    p->m_aValues64[KivNtfsSlot::kMirrCluster] = kMirrCluster;
    p->m_aValues64[KivNtfsSlot::kClusterCount] = nSectors / kSecPerClus;
    return p;
}

}  // namespace ntfs_craft
