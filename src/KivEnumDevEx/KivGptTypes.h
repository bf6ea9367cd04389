// The GPT partition types that count as partitions, by type GUID.
#pragma once

#include <cstdint>
#include <string>

// "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X" of a type GUID as stored in an entry (Data1,
// Data2 and Data3 little-endian, then eight bytes in order).
std::string KivGptGuidText(const uint8_t* p16);

// The row of a type GUID text (upper case) in the type table: identifiers from 1 in row order; 0
// when the type is not listed. Row 1 ("MBR partition scheme") is listed but is no partition.
int KivGptTypeId(const std::string& strGuid);
// The description of a row, empty for 0.
const char* KivGptTypeName(int nId);
