#include "platform/KivWinDestJudge.h"

#include <cctype>

#include "platform/KivWinDevApi.h"

namespace {

bool Overlap(const KivWinExtent& a, const KivWinExtent& b) {
    return a.nDisk == b.nDisk && a.nStart < b.nStart + b.nLength && b.nStart < a.nStart + a.nLength;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string DiskName(uint32_t n) { return "\\\\.\\PHYSICALDRIVE" + std::to_string(n); }

}  // namespace

KivDestVerdict KivWinJudgeDestination(const KivWinSourceFacts& src, const KivWinDestFacts& dest) {
    KivDestVerdict v;
    auto refuse = [&](const std::string& why) {
        v.place = KivDestPlace::kOnScannedMedium;
        v.strWhy = why;
        return v;
    };
    std::string where = dest.strVolume.empty() ? std::string("its volume") : "the volume " + dest.strVolume;
    switch (src.kind) {
        case KivWinSourceFacts::Kind::kDisk:
            for (const KivWinExtent& x : dest.extents)
                if (x.nDisk == src.nDisk)
                    return refuse(where + " lies on " + DiskName(src.nDisk) + ", the disk being scanned");
            break;
        case KivWinSourceFacts::Kind::kVolume:
            // The same letter even when the extents cannot be had.
            if (!src.strVolume.empty() && Upper(src.strVolume) == Upper(dest.strVolume))
                return refuse(where + " is the volume being scanned");
            for (const KivWinExtent& x : dest.extents)
                for (const KivWinExtent& s : src.extents)
                    if (Overlap(x, s))
                        return refuse(where + " lies on " + DiskName(x.nDisk) + " where the volume being scanned lies");
            break;
        case KivWinSourceFacts::Kind::kImage:
            if (!src.strImageVolume.empty() && Upper(src.strImageVolume) == Upper(dest.strVolume))
                v.place = KivDestPlace::kSameFsAsImage;
            break;
    }
    return v;
}

std::vector<KivWinExtent> KivWinVolumeExtents(IKivWinDevApi& api, const std::string& strVolumeRoot) {
    // "D:\" -> "\\.\D:"; a volume mounted in a folder, or a network share, has no letter device.
    std::vector<KivWinExtent> out;
    if (strVolumeRoot.size() < 2 || strVolumeRoot[1] != ':') return out;
    uint32_t err = 0;
    uint64_t h = api.Open(std::string("\\\\.\\") + strVolumeRoot.substr(0, 2), &err);
    if (!h) return out;
    std::vector<uint8_t> a;
    if (api.Ioctl(h, KIV_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, {}, 8 + 64 * 24, &a, &err)) KivDecodeDiskExtents(a, &out);
    api.Close(h);
    return out;
}

KivWinSourceFacts KivWinSourceOf(IKivWinDevApi& api, const std::string& strSource, const std::string& strImageVolume) {
    KivWinSourceFacts s;
    std::string up = Upper(strSource);
    for (char& c : up)
        if (c == '/') c = '\\';
    const std::string kDrive = "\\\\.\\PHYSICALDRIVE";
    if (up.rfind(kDrive, 0) == 0 && up.size() > kDrive.size()) {
        uint32_t n = 0;
        bool ok = true;
        for (size_t i = kDrive.size(); i < up.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(up[i])) || n > 1000) ok = false;
            n = n * 10 + static_cast<uint32_t>(up[i] - '0');
        }
        if (ok) {
            s.kind = KivWinSourceFacts::Kind::kDisk;
            s.nDisk = n;
            return s;
        }
    }
    if (up.size() == 6 && up.rfind("\\\\.\\", 0) == 0 && up[5] == ':') {
        s.kind = KivWinSourceFacts::Kind::kVolume;
        s.strVolume = up.substr(4, 2) + "\\";
        s.extents = KivWinVolumeExtents(api, s.strVolume);
        return s;
    }
    s.strImageVolume = strImageVolume;
    return s;
}
