// Linux back end of the block-device views: sysfs and mountinfo.
#include "platform/KivSysBlock.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Bus numbers (the platform's storage bus type values; inc/IKivEnumDevEx.h names them).
enum : uint32_t {
    kBusUnknown = 0, kBusScsi = 1, kBus1394 = 4, kBusAta = 3, kBusUsb = 7, kBusIscsi = 9, kBusSas = 10,
    kBusSd = 12, kBusMmc = 13, kBusVirtual = 14, kBusFile = 15, kBusNvme = 17,
};

bool StartsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

bool AllDigits(const std::string& s, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

bool AllLower(const std::string& s, size_t from) {
    if (from >= s.size()) return false;
    for (size_t i = from; i < s.size(); ++i)
        if (s[i] < 'a' || s[i] > 'z') return false;
    return true;
}

uint64_t ToU64(const std::string& s) {
    if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0]))) return 0;
    return std::strtoull(s.c_str(), nullptr, 10);
}

std::string Trim(std::string s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && (std::isspace(static_cast<unsigned char>(s[e - 1])) || s[e - 1] == '\0')) --e;
    return s.substr(b, e - b);
}

// Families in listing order; loop devices, which stand in for files, come last.
const char* const kFamilies[] = {"dm-", "hd", "mmcblk", "nvme", "sd", "vd", "xvd", "loop"};

size_t FamilyOf(const std::string& s, size_t* pLen) {
    for (size_t i = 0; i < std::size(kFamilies); ++i) {
        if (StartsWith(s, kFamilies[i])) {
            *pLen = std::char_traits<char>::length(kFamilies[i]);
            return i;
        }
    }
    *pLen = 0;
    return std::size(kFamilies);
}

// Natural order of the part after the family: digit runs by value, letter runs shorter first.
int NaturalCompare(const std::string& a, size_t i, const std::string& b, size_t j) {
    while (i < a.size() && j < b.size()) {
        bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        size_t ie = i, je = j;
        while (ie < a.size() && (std::isdigit(static_cast<unsigned char>(a[ie])) != 0) == da) ++ie;
        while (je < b.size() && (std::isdigit(static_cast<unsigned char>(b[je])) != 0) == db) ++je;
        std::string ta = a.substr(i, ie - i), tb = b.substr(j, je - j);
        if (da != db) return da ? -1 : 1;
        if (da) {
            while (ta.size() > 1 && ta[0] == '0') ta.erase(ta.begin());
            while (tb.size() > 1 && tb[0] == '0') tb.erase(tb.begin());
        }
        if (ta.size() != tb.size()) return ta.size() < tb.size() ? -1 : 1;
        if (int c = ta.compare(tb); c != 0) return c;
        i = ie;
        j = je;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && s.size() - i > 3 && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string FirstOf(const std::string& dir, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        std::string s = KivReadSysText(dir + "/" + n);
        if (!s.empty()) return s;
    }
    return {};
}

}  // namespace

std::string KivReadSysText(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    if (!in) return {};
    std::string s(4096, '\0');
    in.read(s.data(), static_cast<std::streamsize>(s.size()));
    s.resize(static_cast<size_t>(in.gcount()));
    return Trim(s);
}

bool KivIsListedDiskName(const std::string& n, const std::string& strSysDir) {
    if (StartsWith(n, "sd") || StartsWith(n, "hd") || StartsWith(n, "vd")) return AllLower(n, 2);
    if (StartsWith(n, "xvd")) return AllLower(n, 3);
    if (StartsWith(n, "nvme")) {
        size_t p = n.find('n', 4);
        return p != std::string::npos && AllDigits(n, 4, p) && AllDigits(n, p + 1, n.size());
    }
    if (StartsWith(n, "mmcblk")) return AllDigits(n, 6, n.size());
    if (StartsWith(n, "loop"))
        return AllDigits(n, 4, n.size()) && !KivReadSysText(strSysDir + "/loop/backing_file").empty();
    if (StartsWith(n, "dm-"))
        return AllDigits(n, 3, n.size()) && StartsWith(KivReadSysText(strSysDir + "/dm/uuid"), "mpath-");
    return false;
}

bool KivDiskNameLess(const std::string& a, const std::string& b) {
    size_t la = 0, lb = 0;
    size_t fa = FamilyOf(a, &la), fb = FamilyOf(b, &lb);
    if (fa != fb) return fa < fb;
    int c = NaturalCompare(a, la, b, lb);
    return c != 0 ? c < 0 : a < b;
}

uint32_t KivBusTypeFromSysPath(const std::string& strLinkTarget, const std::string& strName) {
    std::string p = strLinkTarget;
    for (char& c : p) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto has = [&](const char* s) { return p.find(s) != std::string::npos; };
    if (StartsWith(strName, "loop")) return kBusFile;
    if (has("/usb")) return kBusUsb;
    if (has("/nvme") || StartsWith(strName, "nvme")) return kBusNvme;
    if (has("/mmc") || StartsWith(strName, "mmcblk")) return kBusSd;
    if (has("/firewire") || has("/fw")) return kBus1394;
    if (has("/virtio")) return kBusScsi;
    if (has("/xen") || has("vbd-") || StartsWith(strName, "xvd")) return kBusVirtual;
    if (has("/end_device-") || has("/sas_")) return kBusSas;
    if (has("/session")) return kBusIscsi;
    if (has("/ata") || StartsWith(strName, "hd")) return kBusAta;
    if (has("/host") || has("/target") || StartsWith(strName, "dm-")) return kBusScsi;
    return kBusUnknown;
}

std::vector<KivSysDisk> KivListSysDisks(const std::string& strSysfsRoot, const std::string& strDevRoot) {
    std::vector<KivSysDisk> out;
    std::error_code ec;
    fs::directory_iterator it(strSysfsRoot + "/block", ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        KivSysDisk d;
        d.strName = it->path().filename().string();
        d.strSysDir = strSysfsRoot + "/block/" + d.strName;
        if (!KivIsListedDiskName(d.strName, d.strSysDir)) continue;
        d.nSize512 = ToU64(KivReadSysText(d.strSysDir + "/size"));
        if (d.nSize512 == 0) continue;
        d.strDevPath = strDevRoot + "/" + d.strName;
        d.bRemovable = KivReadSysText(d.strSysDir + "/removable") == "1";
        KivParseDevNumber(KivReadSysText(d.strSysDir + "/dev"), &d.nMajor, &d.nMinor);
        std::error_code ecLink;
        std::string strLink = fs::is_symlink(it->path(), ecLink) ? fs::read_symlink(it->path(), ecLink).string() : "";
        d.nBusType = KivBusTypeFromSysPath(strLink, d.strName);

        const std::string dev = d.strSysDir + "/device";
        d.strVendor = KivReadSysText(dev + "/vendor");
        if (StartsWith(d.strVendor, "0x")) d.strVendor.clear();  // a PCI vendor number says nothing
        d.strModel = FirstOf(dev, {"model", "name"});
        d.strRevision = FirstOf(dev, {"rev", "firmware_rev", "fwrev"});
        d.strSerial = FirstOf(dev, {"serial"});
        if (d.strSerial.empty()) d.strSerial = FirstOf(d.strSysDir, {"serial", "wwid"});
        if (d.strSerial.empty()) d.strSerial = FirstOf(dev, {"wwid"});
        if (d.nBusType == kBusSd && KivReadSysText(dev + "/type") == "MMC") d.nBusType = kBusMmc;
        if (StartsWith(d.strName, "loop")) {
            d.strBackingFile = KivReadSysText(d.strSysDir + "/loop/backing_file");
            d.strModel = "Loop device " + d.strBackingFile;
        } else if (StartsWith(d.strName, "dm-")) {
            d.strModel = "Multipath " + KivReadSysText(d.strSysDir + "/dm/name");
        } else if (d.strModel.empty() && StartsWith(d.strName, "vd")) {
            d.strModel = "Virtio Block Device";
        }
        out.push_back(std::move(d));
    }
    std::sort(out.begin(), out.end(),
              [](const KivSysDisk& a, const KivSysDisk& b) { return KivDiskNameLess(a.strName, b.strName); });
    return out;
}

std::vector<KivSysPartition> KivListSysPartitions(const std::string& strSysDiskDir) {
    std::vector<KivSysPartition> out;
    std::error_code ec;
    fs::directory_iterator it(strSysDiskDir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string dir = it->path().string();
        std::string strNumber = KivReadSysText(dir + "/partition");
        if (strNumber.empty()) continue;
        KivSysPartition p;
        p.strName = it->path().filename().string();
        p.nNumber = static_cast<uint32_t>(ToU64(strNumber));
        p.nStart512 = ToU64(KivReadSysText(dir + "/start"));
        p.nSize512 = ToU64(KivReadSysText(dir + "/size"));
        KivParseDevNumber(KivReadSysText(dir + "/dev"), &p.nMajor, &p.nMinor);
        out.push_back(std::move(p));
    }
    std::sort(out.begin(), out.end(),
              [](const KivSysPartition& a, const KivSysPartition& b) { return a.nNumber < b.nNumber; });
    return out;
}

bool KivParseDevNumber(const std::string& strText, uint32_t* pMajor, uint32_t* pMinor) {
    size_t c = strText.find(':');
    if (c == std::string::npos || !AllDigits(strText, 0, c) || !AllDigits(strText, c + 1, strText.size())) return false;
    *pMajor = static_cast<uint32_t>(std::strtoul(strText.c_str(), nullptr, 10));
    *pMinor = static_cast<uint32_t>(std::strtoul(strText.c_str() + c + 1, nullptr, 10));
    return true;
}

std::vector<KivMountEntry> KivParseMountInfo(const std::string& strText) {
    std::vector<KivMountEntry> out;
    std::istringstream in(strText);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream ls(line);
        for (std::string w; ls >> w;) f.push_back(w);
        // id parent major:minor root mount-point options [optional...] - fstype source super-options
        auto sep = std::find(f.begin() + std::min<size_t>(f.size(), 6), f.end(), "-");
        if (f.size() < 7 || sep == f.end() || f.end() - sep < 3) continue;
        KivMountEntry e;
        if (!KivParseDevNumber(f[2], &e.nMajor, &e.nMinor)) continue;
        e.strRoot = Unescape(f[3]);
        e.strMountPoint = Unescape(f[4]);
        std::istringstream opts(f[5]);
        for (std::string o; std::getline(opts, o, ',');)
            if (o == "rw") e.bReadWrite = true;
        e.strFsType = sep[1];
        e.strSource = Unescape(sep[2]);
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<KivMountEntry> KivReadMountInfo(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    if (!in) return {};
    std::stringstream s;
    s << in.rdbuf();
    return KivParseMountInfo(s.str());
}

const KivMountEntry* KivFindMount(const std::vector<KivMountEntry>& mounts, uint32_t nMajor, uint32_t nMinor,
                                  bool* pbAnyReadWrite) {
    const KivMountEntry* pFirst = nullptr;
    bool bRw = false;
    for (const KivMountEntry& e : mounts) {
        if (e.nMajor != nMajor || e.nMinor != nMinor) continue;
        bRw = bRw || e.bReadWrite;
        if (!pFirst || (pFirst->strRoot != "/" && e.strRoot == "/")) pFirst = &e;
    }
    if (pbAnyReadWrite) *pbAnyReadWrite = bRw;
    return pFirst;
}
