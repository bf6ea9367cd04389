// The display name of a partition node, shared by the file-system tree builders.
#pragma once

#include <cstdint>
#include <string>

// "%c:(%s - %s %d)", "%c:(%s %d)", "%s(%s %d)" or "%s %d" from the drive letter (0: none), the
// label (null or empty: none), the type text and the index.
std::string KivFormatPartName(const char* pszType, uint32_t nIndex, char cLetter, const char* pszLabel);
// "FAT12", "FAT16", "FAT32", "NTFS", "exFAT", "EXT2", "EXT3", "EXT4" or "UNKNOWN" for a file-system type code.
const char* KivFsTypeText(int32_t nType);
