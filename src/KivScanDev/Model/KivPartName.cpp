#include "Model/KivPartName.h"

#include <cstdio>

#include "KivScanResult.h"

const char* KivFsTypeText(int32_t nType) {
    switch (nType) {
        case KIV_FS_FAT12: return "FAT12";
        case KIV_FS_FAT16: return "FAT16";
        case KIV_FS_FAT32: return "FAT32";
        case KIV_FS_NTFS: return "NTFS";
        case KIV_FS_EXFAT: return "exFAT";
        case KIV_FS_EXT2: return "EXT2";
        case KIV_FS_EXT3: return "EXT3";
        case KIV_FS_EXT4: return "EXT4";
        default: return "UNKNOWN";
    }
}

std::string KivFormatPartName(const char* pszType, uint32_t nIndex, char cLetter, const char* pszLabel) {
    bool bLabel = pszLabel && *pszLabel;
    const char* pszT = pszType ? pszType : "UNKNOWN";
    char buf[512];
    int nIdx = static_cast<int>(nIndex);
    if (cLetter && bLabel)
        std::snprintf(buf, sizeof buf, "%c:(%s - %s %d)", cLetter, pszLabel, pszT, nIdx);
    else if (cLetter)
        std::snprintf(buf, sizeof buf, "%c:(%s %d)", cLetter, pszT, nIdx);
    else if (bLabel)
        std::snprintf(buf, sizeof buf, "%s(%s %d)", pszLabel, pszT, nIdx);
    else
        std::snprintf(buf, sizeof buf, "%s %d", pszT, nIdx);
    return buf;
}
