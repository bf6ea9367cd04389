#include "KivUiTexts.h"


#include <cstdio>

#include "KivIniLoader.h"
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
