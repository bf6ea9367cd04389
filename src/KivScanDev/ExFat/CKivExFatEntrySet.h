// exFAT directory entries: the 32-byte entry types, and a file's entry set (File, Stream Extension,
// File Name entries, possibly more secondaries) with its checksum, name, sizes and times.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace KivExFat {

constexpr size_t kEntrySize = 32;
constexpr uint8_t kInUse = 0x80;
// Entry types with the in-use bit set; the same value without it is a deleted (unused) entry.
enum : uint8_t {
    kTypeEnd = 0x00,
    kTypeBitmap = 0x81,
    kTypeUpcase = 0x82,
    kTypeLabel = 0x83,
    kTypeFile = 0x85,
    kTypeGuid = 0xA0,
    kTypePadding = 0xA1,
    kTypeStream = 0xC0,
    kTypeName = 0xC1,
    kTypeVendorExt = 0xE0,
    kTypeVendorAlloc = 0xE1,
};
// Stream Extension flags.
enum : uint8_t { kAllocPossible = 0x01, kNoFatChain = 0x02 };
constexpr size_t kNameCharsPerEntry = 15;
constexpr uint32_t kMaxNameChars = 255;

// True for a type byte (in use or not) that a directory may hold.
bool IsKnownType(uint8_t nType);

// A timestamp with its 10 ms increment and UTC offset byte as a file time (UTC); 0 when the stamp
// is not a real date. Without a valid offset the stamp is local time, like FAT's.
uint64_t TimeToFileTime(uint32_t nStamp, uint8_t n10ms, uint8_t nUtcOffset);

}  // namespace KivExFat

class CKivExFatEntrySet {
public:
    enum Status {
        kNotFile,  // the entry at the offset is not a File entry
        kCut,      // the set runs past the end of the bytes given
        kBroken,   // counts, order or checksum do not fit
        kValid,
    };

    // Decodes the set that starts at byte nOff. The checksum of a deleted set is checked with its
    // in-use bits put back, as they were when it was written.
    Status Parse(std::span<const uint8_t> data, size_t nOff);

    // Entries the set takes, File entry included (valid after kCut, kBroken and kValid).
    size_t EntryCount() const { return size_t(m_nSecondaries) + 1; }
    bool IsDirectory() const { return (m_nAttributes & 0x10) != 0; }
    bool NoFatChain() const { return (m_nStreamFlags & KivExFat::kNoFatChain) != 0; }

    uint64_t CreationTime() const;
    uint64_t ModificationTime() const;
    uint64_t AccessTime() const;

    // SetChecksum over nEntries entries at the front of the bytes, skipping the field itself.
    static uint16_t Checksum(std::span<const uint8_t> entries, size_t nEntries, bool bRestoreInUse);

    bool m_bInUse = false;
    uint8_t m_nSecondaries = 0;
    uint16_t m_nAttributes = 0;
    uint32_t m_nCreate = 0, m_nModify = 0, m_nAccess = 0;
    uint8_t m_nCreate10ms = 0, m_nModify10ms = 0;
    uint8_t m_nCreateUtc = 0, m_nModifyUtc = 0, m_nAccessUtc = 0;
    uint8_t m_nStreamFlags = 0;
    uint8_t m_nNameLength = 0;
    uint16_t m_nNameHash = 0;
    uint64_t m_nValidLength = 0;
    uint32_t m_nFirstCluster = 0;
    uint64_t m_nDataLength = 0;
    std::u16string m_name;
};
