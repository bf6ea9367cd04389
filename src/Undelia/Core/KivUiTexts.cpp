#include "KivUiTexts.h"

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

const char* KivFsTypeName(int32_t nType) {
    switch (nType) {
        case KIV_FS_FAT12: return "FAT12";
        case KIV_FS_FAT16: return "FAT16";
        case KIV_FS_FAT32: return "FAT32";
        case KIV_FS_NTFS: return "NTFS";
        case KIV_FS_EXFAT: return "exFAT";
        case KIV_FS_RAW: return "RAW";
        case KIV_FS_NONE: return "none";
        default: return "unknown";
    }
}
