#include "platform/KivWinDiskProbe.h"

#include "platform/KivWinDevApi.h"

namespace {

// One device control into a buffer of nBytes; false when the driver refuses.
bool Ask(IKivWinDevApi& api, uint64_t h, uint32_t nCode, uint32_t nBytes, std::vector<uint8_t>* pOut,
         const std::vector<uint8_t>& in = {}) {
    uint32_t err = 0;
    return api.Ioctl(h, nCode, in, nBytes, pOut, &err);
}

// A control whose answer may not fit: the buffer grows while the driver says so.
bool AskGrowing(IKivWinDevApi& api, uint64_t h, uint32_t nCode, std::vector<uint8_t>* pOut) {
    for (uint32_t n = kKivWinLayoutFirst; n <= kKivWinLayoutMax; n += kKivWinLayoutStep) {
        uint32_t err = 0;
        if (api.Ioctl(h, nCode, {}, n, pOut, &err)) return true;
        if (err != KIV_WIN_ERROR_INSUFFICIENT_BUFFER && err != KIV_WIN_ERROR_MORE_DATA) return false;
    }
    return false;
}

}  // namespace

bool KivWinQueryLayout(IKivWinDevApi& api, uint64_t h, KivWinLayout* pOut) {
    std::vector<uint8_t> a;
    if (AskGrowing(api, h, KIV_IOCTL_DISK_GET_DRIVE_LAYOUT_EX, &a) && KivDecodeLayoutEx(a, pOut)) return true;
    return AskGrowing(api, h, KIV_IOCTL_DISK_GET_DRIVE_LAYOUT, &a) && KivDecodeLayout(a, pOut);
}

std::vector<KivWinDiskFacts> KivWinListDisks(IKivWinDevApi& api, std::vector<std::pair<std::string, uint32_t>>* pFailed) {
    std::vector<KivWinDiskFacts> out;
    for (int n = 0; n < kKivWinMaxDisks; ++n) {
        KivWinDiskFacts f;
        f.nNumber = n;
        f.strPath = "\\\\.\\PHYSICALDRIVE" + std::to_string(n);
        uint32_t err = 0;
        uint64_t h = api.Open(f.strPath, &err);
        if (!h) {
            if (pFailed && err != KIV_WIN_ERROR_FILE_NOT_FOUND) pFailed->emplace_back(f.strPath, err);
            continue;
        }
        std::vector<uint8_t> a;
        f.bHasGeometry = (Ask(api, h, KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, 256, &a) ||
                          Ask(api, h, KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY, 24, &a)) &&
                         KivDecodeGeometry(a, &f.geometry);
        f.bHasLength = Ask(api, h, KIV_IOCTL_DISK_GET_LENGTH_INFO, 8, &a) && KivDecodeLength(a, &f.nLength);
        // The descriptor's buffer: a sector and the header, as the texts follow the header.
        f.bHasDescriptor = Ask(api, h, KIV_IOCTL_STORAGE_QUERY_PROPERTY, 512 + 39, &a, KivStorageDeviceQuery()) &&
                           KivDecodeStorageDescriptor(a, &f.desc);
        f.bHasLayout = KivWinQueryLayout(api, h, &f.layout);
        api.Close(h);
        out.push_back(f);
    }
    return out;
}

std::vector<KivWinVolume> KivWinListVolumes(IKivWinDevApi& api) {
    std::vector<KivWinVolume> out;
    for (char c : api.LogicalDrives()) {
        uint32_t err = 0;
        uint64_t h = api.Open(std::string("\\\\.\\") + c + ":", &err);
        if (!h) continue;
        std::vector<uint8_t> a;
        KivWinVolume v;
        v.cLetter = c;
        // Enough for 64 extents; a volume of more pieces answers too small and is left out.
        if (Ask(api, h, KIV_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, 8 + 64 * 24, &a) &&
            KivDecodeDiskExtents(a, &v.extents) && !v.extents.empty())
            out.push_back(v);
        api.Close(h);
    }
    return out;
}

char KivWinLetterOf(const std::vector<KivWinVolume>& vols, uint32_t nDisk, uint64_t nStart) {
    for (const KivWinVolume& v : vols)
        if (v.extents.size() == 1 && v.extents[0].nDisk == nDisk && v.extents[0].nStart == nStart) return v.cLetter;
    return 0;
}
