// Recorded answers of four real disks for the device seam (KivWinDevApi.h): an MBR system disk
// (with an extended partition whose layout needs a grown buffer), a GPT disk with a recovery
// partition, a USB card reader without a card, and a dynamic disk whose volume spans two disks.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/KivWinDevApi.h"
#include "platform/KivWinDiskProbe.h"
#include "platform/KivWinIoctl.h"

namespace kiv_winreplay {


class Bytes {
public:
    Bytes& U8(uint8_t v) { m_b.push_back(v); return *this; }
    Bytes& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    Bytes& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    Bytes& U64(uint64_t v) { return U32(uint32_t(v)).U32(uint32_t(v >> 32)); }
    Bytes& Zeros(size_t n) { m_b.insert(m_b.end(), n, 0); return *this; }
    Bytes& Raw(const void* p, size_t n) {
        auto* q = static_cast<const uint8_t*>(p);
        m_b.insert(m_b.end(), q, q + n);
        return *this;
    }
    size_t Size() const { return m_b.size(); }
    std::vector<uint8_t> Get() const { return m_b; }

private:
    std::vector<uint8_t> m_b;
};

inline std::vector<uint8_t> GeometryEx(uint64_t nCyl, uint32_t nMedia, uint32_t nHeads, uint32_t nSpt, uint32_t nBps,
                                uint64_t nSize) {
    return Bytes().U64(nCyl).U32(nMedia).U32(nHeads).U32(nSpt).U32(nBps).U64(nSize).Zeros(16).Get();
}

inline std::vector<uint8_t> Descriptor(uint32_t nBus, bool bRemovable, const char* pszVendor, const char* pszProduct,
                                const char* pszSerial) {
    // Header of 36 bytes (and one raw property byte), then the texts.
    Bytes b;
    b.U32(1).U32(0).U8(0).U8(0).U8(bRemovable).U8(0);
    uint32_t off = 40;
    auto place = [&](const char* s) {
        if (!s) return 0u;
        uint32_t at = off;
        off += static_cast<uint32_t>(std::strlen(s) + 1);
        return at;
    };
    uint32_t v = place(pszVendor), p = place(pszProduct), r = place("1.00"), s = place(pszSerial);
    b.U32(v).U32(p).U32(r).U32(s ? s : 0).U32(nBus).U32(0).Zeros(4);
    for (const char* t : {pszVendor, pszProduct, "1.00", pszSerial})
        if (t) b.Raw(t, std::strlen(t) + 1);
    return b.Get();
}

struct MbrEntry {
    uint64_t nStart, nLength;
    uint32_t nNumber;
    uint8_t nType;
};
inline std::vector<uint8_t> MbrLayoutEx(uint32_t nSignature, const std::vector<MbrEntry>& parts) {
    Bytes b;
    b.U32(0).U32(static_cast<uint32_t>(parts.size())).U32(nSignature).U32(0).Zeros(32);
    for (const MbrEntry& p : parts) {
        b.U32(0).U32(0).U64(p.nStart).U64(p.nLength).U32(p.nNumber).U8(0).U8(0).Zeros(2);
        b.U8(p.nType).U8(0).U8(1).U8(0).U32(uint32_t(p.nStart / 512)).Zeros(16).Zeros(144 - 56);
    }
    return b.Get();
}

struct GptEntry {
    uint64_t nStart, nLength;
    uint32_t nNumber;
    uint8_t type[16];
    const char* pszName;
};
inline std::vector<uint8_t> GptLayoutEx(const std::vector<GptEntry>& parts) {
    Bytes b;
    b.U32(1).U32(static_cast<uint32_t>(parts.size())).Zeros(16).U64(17408).U64(1000000000).U32(128).Zeros(4);
    for (const GptEntry& p : parts) {
        b.U32(1).U32(0).U64(p.nStart).U64(p.nLength).U32(p.nNumber).U8(0).U8(0).Zeros(2);
        b.Raw(p.type, 16).Zeros(16).U64(0);
        size_t n = 0;
        for (; p.pszName[n] && n < 36; ++n) b.U16(static_cast<uint8_t>(p.pszName[n]));
        b.Zeros(2 * (36 - n));
    }
    return b.Get();
}

inline std::vector<uint8_t> Extents(const std::vector<KivWinExtent>& xs) {
    Bytes b;
    b.U32(static_cast<uint32_t>(xs.size())).Zeros(4);
    for (const KivWinExtent& x : xs) b.U32(x.nDisk).Zeros(4).U64(x.nStart).U64(x.nLength);
    return b.Get();
}

// Recorded answers per device path and control code; a missing answer fails as the driver would.
class CReplayApi : public IKivWinDevApi {
public:
    struct Device {
        uint32_t nOpenError = 0;
        std::map<uint32_t, std::vector<uint8_t>> answers;
        std::map<uint32_t, uint32_t> errors;
    };
    std::map<std::string, Device> devices;
    std::vector<char> letters;
    std::vector<std::pair<uint32_t, uint32_t>> calls;  // code, buffer size

    uint64_t Open(const std::string& strPath, uint32_t* pErr) override {
        auto it = devices.find(strPath);
        if (it == devices.end() || it->second.nOpenError) {
            *pErr = it == devices.end() ? KIV_WIN_ERROR_FILE_NOT_FOUND : it->second.nOpenError;
            return 0;
        }
        m_open.push_back(&it->second);
        return m_open.size();
    }
    void Close(uint64_t) override {}
    bool Ioctl(uint64_t h, uint32_t nCode, const std::vector<uint8_t>&, uint32_t nOutBytes, std::vector<uint8_t>* pOut,
               uint32_t* pErr) override {
        calls.emplace_back(nCode, nOutBytes);
        Device& d = *m_open.at(h - 1);
        if (auto e = d.errors.find(nCode); e != d.errors.end()) return *pErr = e->second, false;
        auto a = d.answers.find(nCode);
        if (a == d.answers.end()) return *pErr = 1, false;  // ERROR_INVALID_FUNCTION
        if (a->second.size() > nOutBytes) return *pErr = KIV_WIN_ERROR_INSUFFICIENT_BUFFER, false;
        *pOut = a->second;
        return true;
    }
    std::vector<char> LogicalDrives() override { return letters; }
    std::string QueryDosDevice(const std::string&) override { return {}; }

private:
    std::vector<Device*> m_open;
};

inline constexpr uint64_t MiB = 1u << 20;
inline constexpr uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44, 0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
inline constexpr uint8_t kRecovery[16] = {0xA4, 0xBB, 0x94, 0xDE, 0xD1, 0x06, 0x40, 0x4D, 0xA1, 0x6A, 0xBF, 0xD5, 0x01, 0x79, 0xD6, 0xAC};
inline constexpr uint8_t kEfi[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11, 0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};

inline CReplayApi FourDisks() {
    CReplayApi api;
    auto& d0 = api.devices["\\\\.\\PHYSICALDRIVE0"];
    d0.answers[KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX] = GeometryEx(30401, 12, 255, 63, 512, 250059350016ull);
    d0.answers[KIV_IOCTL_DISK_GET_LENGTH_INFO] = Bytes().U64(250059350016ull).Get();
    d0.answers[KIV_IOCTL_STORAGE_QUERY_PROPERTY] = Descriptor(11, false, nullptr, "Samsung SSD 860 EVO 250GB  ", "  S3Z9NB0K");
    // Primary NTFS, an extended partition with twelve logical drives (four slots per table, as the
    // driver lists them): more than the first layout buffer holds.
    std::vector<MbrEntry> mbr = {{MiB, 100 * MiB, 1, 0x07}, {101 * MiB, 200 * MiB, 0, 0x0F}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    for (uint32_t i = 0; i < 12; ++i) {
        mbr.push_back({(102 + 10 * i) * MiB, 9 * MiB, 2 + i, 0x07});
        mbr.push_back({(111 + 10 * i) * MiB, 10 * MiB, 0, i < 11 ? uint8_t(0x05) : uint8_t(0)});
        mbr.push_back({0, 0, 0, 0});
        mbr.push_back({0, 0, 0, 0});
    }
    d0.answers[KIV_IOCTL_DISK_GET_DRIVE_LAYOUT_EX] = MbrLayoutEx(0x1234ABCD, mbr);

    auto& d1 = api.devices["\\\\.\\PHYSICALDRIVE1"];
    d1.answers[KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX] = GeometryEx(121601, 12, 255, 63, 4096, 1000204886016ull);
    d1.answers[KIV_IOCTL_DISK_GET_LENGTH_INFO] = Bytes().U64(1000204886016ull).Get();
    d1.answers[KIV_IOCTL_STORAGE_QUERY_PROPERTY] = Descriptor(17, false, "NVMe", "WD Blue SN570", "E823_8FA6");
    d1.answers[KIV_IOCTL_DISK_GET_DRIVE_LAYOUT_EX] = GptLayoutEx({{MiB, 100 * MiB, 1, {}, "EFI system partition"},
                                                                  {101 * MiB, 900000 * MiB, 2, {}, "Basic data partition"},
                                                                  {900101 * MiB, 650 * MiB, 3, {}, "Recovery"}});
    {
        auto& a = d1.answers[KIV_IOCTL_DISK_GET_DRIVE_LAYOUT_EX];
        std::memcpy(&a[48 + 32], kEfi, 16);
        std::memcpy(&a[48 + 144 + 32], kBasicData, 16);
        std::memcpy(&a[48 + 288 + 32], kRecovery, 16);
    }

    auto& d2 = api.devices["\\\\.\\PHYSICALDRIVE2"];  // a card reader without a card
    d2.errors[KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX] = KIV_WIN_ERROR_NOT_READY;
    d2.errors[KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY] = KIV_WIN_ERROR_NOT_READY;
    d2.errors[KIV_IOCTL_DISK_GET_LENGTH_INFO] = KIV_WIN_ERROR_NOT_READY;
    d2.answers[KIV_IOCTL_STORAGE_QUERY_PROPERTY] = Descriptor(7, true, "Generic-", "SD/MMC", nullptr);

    auto& d3 = api.devices["\\\\.\\PHYSICALDRIVE3"];  // dynamic
    d3.answers[KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY] = GeometryEx(60801, 12, 255, 63, 512, 0);
    d3.answers[KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY].resize(24);
    d3.answers[KIV_IOCTL_STORAGE_QUERY_PROPERTY] = Descriptor(11, false, "(Standard disk drives)", "ST500DM002", "Z3T1");
    d3.answers[KIV_IOCTL_DISK_GET_DRIVE_LAYOUT] =
        Bytes().U32(4).U32(0xCAFE).U64(63 * 512).U64(500 * 1000 * MiB).U32(63).U32(0).U8(0x42).Zeros(7).Zeros(96).Get();

    api.devices["\\\\.\\PHYSICALDRIVE5"].nOpenError = KIV_WIN_ERROR_ACCESS_DENIED;

    api.letters = {'C', 'D', 'E', 'F', 'Z'};
    api.devices["\\\\.\\C:"].answers[KIV_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS] = Extents({{0, MiB, 100 * MiB}});
    api.devices["\\\\.\\D:"].answers[KIV_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS] = Extents({{1, 101 * MiB, 900000 * MiB}});
    api.devices["\\\\.\\E:"].answers[KIV_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS] =
        Extents({{3, MiB, 1000 * MiB}, {0, 500 * MiB, 1000 * MiB}});
    api.devices["\\\\.\\F:"].errors[KIV_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS] = KIV_WIN_ERROR_NOT_READY;
    return api;
}

}  // namespace kiv_winreplay
