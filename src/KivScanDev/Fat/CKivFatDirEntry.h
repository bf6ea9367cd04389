// One 32-byte FAT directory entry: decoding, the plausibility tests, names and times.
#pragma once

#include <cstdint>
#include <span>
#include <string>

class CKivFatDirEntry {
public:
    static constexpr size_t kSize = 32;
    static constexpr uint8_t kDeletedMark = 0xE5;
    static constexpr uint8_t kAttrLongName = 0x0F;
    static constexpr uint8_t kAttrLabel = 0x08;
    static constexpr uint8_t kAttrDir = 0x10;

    // Decodes the 32 bytes at the front of the span; false when it is shorter.
    bool Decode(std::span<const uint8_t> bytes);

    bool IsLongName() const { return m_nAttr == kAttrLongName; }
    bool IsLabel() const { return m_nAttr == kAttrLabel; }
    bool IsDirectory() const { return (m_nAttr & kAttrDir) != 0; }
    bool IsDeleted() const { return m_name[0] == kDeletedMark; }
    bool IsEnd() const { return m_name[0] == 0; }
    bool IsDot() const;     // ".          "
    bool IsDotDot() const;  // "..         "
    // Both cluster words (the high one only means something on FAT32).
    uint32_t FirstCluster(bool bFat32 = true) const {
        return (bFat32 ? uint32_t(m_nClusterHi) << 16 : 0) | m_nClusterLo;
    }

    // The plausibility rules; the strict form adds the size/cluster consistency of live data and is
    // used on whole sectors during the scan. Date and time checks follow KivFatSettings.
    bool IsPlausible(bool bStrict) const;

    // "NAME.EXT" / "NAME" in UTF-8 (code page 437 for bytes above 0x7F), honouring the lower-case
    // flags. A deleted entry's lost first byte is replaced by cFirst.
    std::string ShortName(uint8_t cFirst = '_') const;
    // A label: name and extension each without trailing blanks, joined directly.
    std::string LabelText() const;
    // Checksum of the 11-byte short name that long-name entries carry, with name[0] replaced.
    uint8_t Checksum(uint8_t cFirst) const;

    uint64_t CreationTime() const { return DosToFileTime(m_nCDate, m_nCTime); }
    uint64_t ModificationTime() const { return DosToFileTime(m_nMDate, m_nMTime); }
    uint64_t AccessTime() const { return DosToFileTime(m_nADate, 0); }
    // A DOS date and time (local time) as a file time; 0 when the date is not a real date.
    static uint64_t DosToFileTime(uint16_t nDate, uint16_t nTime);

    uint8_t m_name[11] = {};  // offset 0
    uint8_t m_nAttr = 0;      // 11
    uint8_t m_nCase = 0;      // 12: 0x08 name, 0x10 extension in lower case
    uint16_t m_nCTime = 0;    // 14
    uint16_t m_nCDate = 0;    // 16
    uint16_t m_nADate = 0;    // 18
    uint16_t m_nClusterHi = 0;  // 20
    uint16_t m_nMTime = 0;    // 22
    uint16_t m_nMDate = 0;    // 24
    uint16_t m_nClusterLo = 0;  // 26
    uint32_t m_nSize = 0;     // 28
};

// Appends the UTF-8 form of a code page 437 byte.
void KivAppendCp437(std::string* pOut, uint8_t c);
