// Windows back end of the disk list: the physical drives and the volumes with drive letters, as
// the disk and volume controls tell them through the device seam.
#include "platform/KivDiskSource.h"

#include <algorithm>

#include "platform/KivWinDevApi.h"
#include "platform/KivWinDiskProbe.h"

namespace {

constexpr const char* kPartitionRoot = "\\\\?\\GLOBALROOT\\Device\\";
// Device numbers of the drive letters that lie on no listed disk (floppy drives): this major and
// the letter.
constexpr uint32_t kLetterMajor = 0x10000;

std::string DiskName(int32_t n) { return "PHYSICALDRIVE" + std::to_string(n); }

KivSysDisk FromFacts(const KivWinDiskFacts& f) {
    KivSysDisk d;
    d.strName = DiskName(f.nNumber);
    d.strSysDir = f.strPath;
    d.strDevPath = f.strPath;
    d.strVendor = f.desc.strVendor;
    d.strModel = f.desc.strProduct;
    d.strRevision = f.desc.strRevision;
    d.strSerial = f.desc.strSerial;
    d.nBusType = f.desc.nBusType;  // STORAGE_BUS_TYPE numbers the KIV_BUS_* values
    d.bRemovable = f.desc.bRemovable || f.geometry.nMediaType == 11;
    uint64_t nBytes = f.bHasLength ? f.nLength : f.geometry.nDiskSize;
    d.nSize512 = nBytes / 512;
    d.nMajor = static_cast<uint32_t>(f.nNumber) + 1;
    return d;
}

// "\\.\PHYSICALDRIVE<n>" -> n; -1 for anything else.
int DiskNumberOf(const std::string& strPath) {
    const std::string p = "\\\\.\\PHYSICALDRIVE";
    if (strPath.rfind(p, 0) != 0 || strPath.size() == p.size() || strPath.size() > p.size() + 3) return -1;
    int n = 0;
    for (size_t i = p.size(); i < strPath.size(); ++i) {
        if (strPath[i] < '0' || strPath[i] > '9') return -1;
        n = n * 10 + (strPath[i] - '0');
    }
    return n;
}

}  // namespace

std::vector<KivSysDisk> KivSystemDisks(const std::string&, const std::string&) {
    std::vector<KivSysDisk> out;
    IKivWinDevApi* pApi = KivWinDevApi();
    if (!pApi) return out;
    std::vector<std::pair<std::string, uint32_t>> failed;
    for (const KivWinDiskFacts& f : KivWinListDisks(*pApi, &failed)) out.push_back(FromFacts(f));
    for (const auto& [path, err] : failed) {
        KivSysDisk d;
        d.strDevPath = d.strSysDir = path;
        int n = DiskNumberOf(path);
        d.strName = n >= 0 ? DiskName(n) : path;
        d.nMajor = n >= 0 ? static_cast<uint32_t>(n) + 1 : 0;
        auto at = std::find_if(out.begin(), out.end(), [&](const KivSysDisk& o) { return o.nMajor > d.nMajor; });
        out.insert(at, d);
    }
    return out;
}

std::vector<KivSysPartition> KivSystemPartitions(const KivSysDisk& disk) {
    std::vector<KivSysPartition> out;
    IKivWinDevApi* pApi = KivWinDevApi();
    int nDisk = DiskNumberOf(disk.strDevPath);
    if (!pApi || nDisk < 0) return out;
    uint32_t err = 0;
    uint64_t h = pApi->Open(disk.strDevPath, &err);
    if (!h) return out;
    KivWinLayout layout;
    bool ok = KivWinQueryLayout(*pApi, h, &layout);
    pApi->Close(h);
    if (!ok) return out;
    for (const KivWinPartition& p : layout.parts) {
        if (p.nNumber == 0) continue;  // the containers of extended partitions
        KivSysPartition s;
        s.strName = "Harddisk" + std::to_string(nDisk) + "\\Partition" + std::to_string(p.nNumber);
        s.nNumber = p.nNumber;
        s.nStart512 = p.nStart / 512;
        s.nSize512 = p.nLength / 512;
        s.nMajor = static_cast<uint32_t>(nDisk) + 1;
        s.nMinor = p.nNumber;
        out.push_back(s);
    }
    return out;
}

std::vector<KivMountEntry> KivSystemMounts(const std::string&) {
    std::vector<KivMountEntry> out;
    IKivWinDevApi* pApi = KivWinDevApi();
    if (!pApi) return out;
    std::vector<KivWinDiskFacts> disks = KivWinListDisks(*pApi);
    std::vector<KivWinVolume> vols = KivWinListVolumes(*pApi);
    auto entry = [](char c, uint32_t nMajor, uint32_t nMinor) {
        KivMountEntry m;
        m.nMajor = nMajor;
        m.nMinor = nMinor;
        m.strRoot = "/";  // the whole file system
        // Built in place: MinGW's g++ takes "lit" + std::string for an overlapping copy.
        m.strMountPoint = "?:\\";
        m.strMountPoint[0] = c;
        m.strSource = "\\\\.\\?:";
        m.strSource[4] = c;
        m.bReadWrite = true;  // Windows does not say; a letter may always be written
        return m;
    };
    for (char c : pApi->LogicalDrives()) {
        auto v = std::find_if(vols.begin(), vols.end(), [&](const KivWinVolume& x) { return x.cLetter == c; });
        if (v == vols.end()) {
            out.push_back(entry(c, kLetterMajor, static_cast<uint32_t>(c)));
            continue;
        }
        // A volume of several pieces (a dynamic volume) is no partition of its own.
        if (v->extents.size() != 1) continue;
        const KivWinExtent& e = v->extents[0];
        for (const KivWinDiskFacts& d : disks) {
            if (d.nNumber != static_cast<int32_t>(e.nDisk)) continue;
            uint32_t nMinor = 0;
            for (const KivWinPartition& p : d.layout.parts)
                if (p.nNumber && p.nStart == e.nStart) nMinor = p.nNumber;
            if (nMinor || e.nStart == 0) out.push_back(entry(c, e.nDisk + 1, nMinor));
        }
    }
    return out;
}

std::string KivPartitionDevPath(const std::string&, const std::string& strName) { return kPartitionRoot + strName; }

bool KivFloppyDrive(const std::string&, int nDrive, std::string* pPath, uint32_t* pMajor, uint32_t* pMinor) {
    IKivWinDevApi* pApi = KivWinDevApi();
    if (!pApi || nDrive < 0 || nDrive > 1) return false;
    const char c = static_cast<char>('A' + nDrive);
    std::vector<char> letters = pApi->LogicalDrives();
    if (std::find(letters.begin(), letters.end(), c) == letters.end()) return false;
    std::string name = "?:";
    name[0] = c;
    if (pApi->QueryDosDevice(name).rfind("\\Device\\Floppy", 0) != 0) return false;
    *pPath = "\\\\.\\" + name;
    *pMajor = kLetterMajor;
    *pMinor = static_cast<uint32_t>(c);
    return true;
}
