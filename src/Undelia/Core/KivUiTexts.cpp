#include "KivUiTexts.h"


#include <cstdio>
#include <cstring>

#include <ctime>

#include "CKivResultController.h"
#include "CKivUiConfig.h"
#include "CKivUiNode.h"
#include "IKivEnumDevEx.h"
#include "KivIniLoader.h"
#include "platform/KivPlatform.h"
#include "KivScanResult.h"

std::string KivErrorText(KivResult nCode) { return KivLoadErrText(nCode); }

std::string KivHintText(const char* pszSection, const char* pszKey) {
    std::string text = KivLoadHintText(pszSection, pszKey);
    if (text.empty()) text = std::string(pszSection ? pszSection : "") + "/" + (pszKey ? pszKey : "");
    return text;
}

std::string KivReplaceArg(const std::string& text, const std::string& strArg) {
    size_t at = text.find("%s");
    if (at == std::string::npos) return text;
    return text.substr(0, at) + strArg + text.substr(at + 2);
}

std::string KivHintFormat(const char* pszSection, const char* pszKey, const std::string& strArg) {
    return KivReplaceArg(KivHintText(pszSection, pszKey), strArg);
}

std::string KivCommandLineText(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& a : args) {
        if (!out.empty()) out += ' ';
        bool bPlain = !a.empty() && a.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                        "0123456789%+,-./:=@_") == std::string::npos;
        if (bPlain) {
            out += a;
            continue;
        }
        out += '\'';
        for (char c : a) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        out += '\'';
    }
    return out;
}

const char* KivFsTypeName(int32_t nType) {
    switch (nType) {
        case KIV_FS_FAT12: return "FAT12";
        case KIV_FS_FAT16: return "FAT16";
        case KIV_FS_FAT32: return "FAT32";
        case KIV_FS_NTFS: return "NTFS";
        case KIV_FS_EXFAT: return "exFAT";
        case KIV_FS_EXT2: return "EXT2";
        case KIV_FS_EXT3: return "EXT3";
        case KIV_FS_EXT4: return "EXT4";
        case KIV_FS_RAW: return "RAW";
        case KIV_FS_NONE: return "none";
        default: return "unknown";
    }
}

std::string KivSizeTextIec(uint64_t nBytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (nBytes < 1024) return std::to_string(nBytes) + " B";
    double d = static_cast<double>(nBytes);
    int u = 0;
    // 1023.996 KiB would print as "1024.00 KiB": such a value is a whole next unit.
    while (d >= 1023.995 && u < 6) d /= 1024.0, ++u;
    char sz[32];
    std::snprintf(sz, sizeof sz, "%.2f %s", d, kUnits[u]);
    return sz;
}

namespace {

std::string SkinText(const char* pszKey, const char* pszDefault) {
    std::string s = CKivUiConfig::Get().GetText("PanelFileRes", pszKey);
    return s.empty() ? std::string(pszDefault) : s;
}

}  // namespace

std::string KivNodeStateText(const CKivUiNode& node) {
    if (node.IsFile()) {
        if (node.IsCarved()) return SkinText("TxtCarved", "Found by content");
        const uint8_t s = node.GetRecordState();
        // An existing file says nothing unless the skin gives it a word.
        std::string t = (s & KIV_REC_DELETED) ? SkinText("TxtDeleted", "Deleted")
                        : node.IsLost()        ? SkinText("TxtLost", "Lost")
                                               : CKivUiConfig::Get().GetText("PanelFileRes", "TxtExisting");
        if (s & KIV_REC_DAMAGED) {
            std::string d = SkinText("TxtDamaged", "Damaged");
            t = t.empty() ? d : t + ", " + d;
        }
        return t;
    }
    switch (node.GetLook()) {
        case CKivUiNode::LOOK_GONE:
            return (node.GetRecordState() & KIV_REC_DELETED) ? SkinText("TxtDeleted", "Deleted") : SkinText("TxtLost", "Lost");
        case CKivUiNode::LOOK_HOLDS_GONE: return SkinText("TxtHoldsDeleted", "Holds deleted files");
        default: return std::string();
    }
}

std::string KivNodeTimeText(uint64_t nFileTime) {
    if (nFileTime == 0) return std::string();
    int64_t nSec = 0;
    uint32_t nNsec = 0;
    KivFileTimeToUnix(nFileTime, &nSec, &nNsec);
    struct tm t {};
    if (!KivLocalTime(nSec, &t)) return std::string();
    // Room for any int the fields may hold: the compiler cannot know they are in range.
    char sz[80];
    std::snprintf(sz, sizeof sz, "%04d-%02d-%02d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
    return sz;
}

namespace {

std::string RecovText(const char* pszKey, const char* pszDefault) {
    std::string s = CKivUiConfig::Get().GetText("DlgRecovRes", pszKey);
    return s.empty() ? std::string(pszDefault) : s;
}

}  // namespace

std::vector<std::string> KivRecoverSummaryLines(const KivRecoverSummary& sum) {
    std::vector<std::string> lines;
    lines.push_back(KivReplaceArg(KivReplaceArg(RecovText("TxtWritten", "Files recovered: %s (%s)"),
                                                std::to_string(sum.nFilesWritten)),
                                  KivSizeTextIec(sum.nBytesWritten)));
    if (sum.nDamaged)
        lines.push_back(KivReplaceArg(RecovText("TxtDamaged", "Written with unreadable parts: %s"), std::to_string(sum.nDamaged)));
    if (sum.nFailed)
        lines.push_back(KivReplaceArg(RecovText("TxtFailed", "Could not be recovered: %s"), std::to_string(sum.nFailed)));
    if (sum.bStopped) lines.push_back(CKivUiConfig::Get().GetText("DlgRecovRes", "TxtStopped"));
    if (!sum.folders.empty()) {
        lines.push_back(RecovText("TxtFolder", "Saved in:"));
        for (const std::string& f : sum.folders) lines.push_back("    " + f);
    }
    return lines;
}

namespace {

std::string DevText(const char* pszKey, const char* pszDefault) {
    std::string s = CKivUiConfig::Get().GetText("PanelEnumDev", pszKey);
    return s.empty() ? std::string(pszDefault) : s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string SizeOf(IKivDevStor* p) { return p ? KivSizeTextIec(p->GetSectorCount() * p->GetSectorSize()) : std::string(); }

}  // namespace

std::vector<std::string> KivDiskRowTexts(const DiskInfo& d) {
    std::string kind = d.nSource == KIV_DISK_IMAGE ? DevText("TxtImage", "Image file")
                       : d.nUsb                    ? DevText("TxtUsb", "USB")
                                                   : DevText("TxtDisk", "Disk");
    std::string name = Trim(std::string(d.szDesc, strnlen(d.szDesc, sizeof d.szDesc)));
    std::string path = d.pDisk ? d.pDisk->GetPath() : std::string(d.szPath, strnlen(d.szPath, sizeof d.szPath));
    name = name.empty() ? path : name + "  (" + path + ")";
    return {kind, name, SizeOf(d.pStor), std::string(), d.nMountFlags & KIV_MOUNTED ? DevText("TxtInUse", "in use") : std::string()};
}

std::vector<std::string> KivPartRowTexts(const PartInfo& p) {
    std::string kind = p.nDynamic  ? DevText("TxtVolume", "Dynamic volume")
                       : p.nFloppy ? DevText("TxtFloppy", "Floppy")
                                   : DevText("TxtPartition", "Partition");
    kind += std::string("  ") + KivFsKindName(p.nFsKind);
    // Its device, else the disk it lies on with its number.
    std::string name(p.szDevPath, strnlen(p.szDevPath, sizeof p.szDevPath));
    if (name.empty()) {
        std::string disk;
        if (p.extents[0].pDisk) {
            disk = p.extents[0].pDisk->GetPath();
            size_t slash = disk.find_last_of("/\\");
            if (slash != std::string::npos) disk = disk.substr(slash + 1);
        }
        if (disk.empty()) {
            std::string desc(p.szDesc, strnlen(p.szDesc, sizeof p.szDesc));
            disk = Trim(desc.substr(0, desc.find('\n')));
        }
        name = p.nPartNumber ? disk + " #" + std::to_string(p.nPartNumber) : disk;
    }
    return {kind, name, SizeOf(p.pDevice), std::string(p.szLabel, strnlen(p.szLabel, sizeof p.szLabel)),
            std::string(p.szMountPoint, strnlen(p.szMountPoint, sizeof p.szMountPoint))};
}
