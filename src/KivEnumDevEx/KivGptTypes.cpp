#include "KivGptTypes.h"

#include <cstdio>
#include <iterator>

namespace {

struct GptTypeRow {
    const char* pszGuid;
    const char* pszName;
};

// Rows 1-52 in their fixed order, then types of current systems that the old rows lack.
constexpr GptTypeRow kRows[] = {
    {"024DEE41-33E7-11D3-9D69-0008C781F39F", "MBR partition scheme"},
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI System partition"},
    {"21686148-6449-6E6F-744E-656564454649", "BIOS Boot partition"},
    {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft Reserved Partition"},
    {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Basic data partition"},
    {"5808C8AA-7E8F-42E0-85D2-E1E90434CFB3", "Logical Disk Manager metadata partition"},
    {"AF9B60A0-1431-4F62-BC68-3311714A69AD", "Logical Disk Manager data partition"},
    {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows Recovery Environment"},
    {"37AFFC90-EF7D-4E96-91C3-2D7AE055B174", "IBM General Parallel File System (GPFS) partition"},
    {"75894C1E-3AEB-11D3-B7C1-7B03A0000000", "Data partition"},
    {"E2A1E728-32E3-11D6-A682-7B03A0000000", "Service Partition"},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem data"},
    {"A19D880F-05FC-4D3B-A006-743F0F84911E", "RAID partition"},
    {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Swap partition"},
    {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Logical Volume Manager (LVM) partition"},
    {"8DA63339-0007-60C0-C436-083AC8230908", "Reserved"},
    {"83BD6B9D-7F41-11DC-BE0B-001560B84F0F", "Boot partition"},
    {"516E7CB4-6ECF-11D6-8FF8-00022D09712B", "Data partition"},
    {"516E7CB5-6ECF-11D6-8FF8-00022D09712B", "Swap partition"},
    {"516E7CB6-6ECF-11D6-8FF8-00022D09712B", "Unix File System (UFS) partition"},
    {"516E7CB8-6ECF-11D6-8FF8-00022D09712B", "Vinum volume manager partition"},
    {"516E7CBA-6ECF-11D6-8FF8-00022D09712B", "ZFS partition"},
    {"48465300-0000-11AA-AA11-00306543ECAC", "Hierarchical File System Plus (HFS+) partition"},
    {"55465300-0000-11AA-AA11-00306543ECAC", "Apple UFS"},
    {"6A898CC3-1DD2-11B2-99A6-080020736631", "ZFS"},
    {"52414944-0000-11AA-AA11-00306543ECAC", "Apple RAID partition"},
    {"52414944-5F4F-11AA-AA11-00306543ECAC", "Apple RAID partition, offline"},
    {"426F6F74-0000-11AA-AA11-00306543ECAC", "Apple Boot partition"},
    {"4C616265-6C00-11AA-AA11-00306543ECAC", "Apple Label"},
    {"5265636F-7665-11AA-AA11-00306543ECAC", "Apple TV Recovery partition"},
    {"6A82CB45-1DD2-11B2-99A6-080020736631", "Boot partition"},
    {"6A85CF4D-1DD2-11B2-99A6-080020736631", "Root partition"},
    {"6A87C46F-1DD2-11B2-99A6-080020736631", "Swap partition"},
    {"6A8B642B-1DD2-11B2-99A6-080020736631", "Backup partition"},
    {"6A898CC3-1DD2-11B2-99A6-080020736631", "/usr partition"},
    {"6A8EF2E9-1DD2-11B2-99A6-080020736631", "/var partition"},
    {"6A90BA39-1DD2-11B2-99A6-080020736631", "/home partition"},
    {"6A9283A5-1DD2-11B2-99A6-080020736631", "Alternate sector"},
    {"6A945A3B-1DD2-11B2-99A6-080020736631", "Reserved partition"},
    {"6A9630D1-1DD2-11B2-99A6-080020736631", "Reserved partition"},
    {"6A980767-1DD2-11B2-99A6-080020736631", "Reserved partition"},
    {"6A96237F-1DD2-11B2-99A6-080020736631", "Reserved partition"},
    {"6A8D2AC7-1DD2-11B2-99A6-080020736631", "Reserved partition"},
    {"49F48D32-B10E-11DC-B99B-0019D1879648", "Swap partition"},
    {"49F48D5A-B10E-11DC-B99B-0019D1879648", "FFS partition"},
    {"49F48D82-B10E-11DC-B99B-0019D1879648", "LFS partition"},
    {"49F48DAA-B10E-11DC-B99B-0019D1879648", "RAID partition"},
    {"2DB519C4-B10F-11DC-B99B-0019D1879648", "Concatenated partition"},
    {"2DB519EC-B10F-11DC-B99B-0019D1879648", "Encrypted partition"},
    {"FE3A2A5D-4F32-41A7-B725-ACCC3285A309", "ChromeOS kernel"},
    {"3CB8E202-3B7E-47DD-8A3C-7FF2A13CFCEC", "ChromeOS rootfs"},
    {"2E0A753D-9E48-43B0-8337-B15192CB1B5E", "ChromeOS future use"},
    // Later additions.
    {"4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709", "Linux root (x86-64)"},
    {"B921B045-1DF0-41C3-AF44-4C6F280D3FAE", "Linux root (ARM64)"},
    {"933AC7E1-2EB4-4F13-B844-0E14E2AEF915", "Linux /home"},
    {"3B8F8425-20E0-4F3B-907F-1A25A76F98E8", "Linux /srv"},
    {"CA7D7CCB-63ED-4C53-861C-1742536059CC", "Linux LUKS"},
    {"BC13C2FF-59E6-4262-A352-B275FD6F7172", "Linux extended boot"},
    {"7C3457EF-0000-11AA-AA11-00306543ECAC", "Apple APFS"},
    {"53746F72-6167-11AA-AA11-00306543ECAC", "Apple Core Storage"},
    {"DB97DBA9-0840-4BAE-97F0-FFB9A327C7E1", "Cluster metadata partition"},
    {"E75CAF8F-F680-4CEE-AFA3-B001E56EFC2D", "Storage Spaces partition"},
    {"558D43C5-A1AC-43C0-AAC8-D1472B2923D1", "Storage Replica partition"},
};

}  // namespace

std::string KivGptGuidText(const uint8_t* p) {
    auto le32 = [&](int o) { return uint32_t(p[o]) | uint32_t(p[o + 1]) << 8 | uint32_t(p[o + 2]) << 16 | uint32_t(p[o + 3]) << 24; };
    auto le16 = [&](int o) { return unsigned(p[o]) | unsigned(p[o + 1]) << 8; };
    char sz[40];
    std::snprintf(sz, sizeof sz, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", le32(0), le16(4), le16(6), p[8],
                  p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return sz;
}

int KivGptTypeId(const std::string& strGuid) {
    for (size_t i = 0; i < std::size(kRows); ++i)
        if (strGuid == kRows[i].pszGuid) return static_cast<int>(i + 1);
    return 0;
}

const char* KivGptTypeName(int nId) {
    return nId >= 1 && static_cast<size_t>(nId) <= std::size(kRows) ? kRows[nId - 1].pszName : "";
}
