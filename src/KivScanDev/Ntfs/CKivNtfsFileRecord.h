// One MFT file record: fix-ups applied to an own copy, header fields and the attributes it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum : uint32_t {
    KIV_NTFS_AT_STANDARD_INFORMATION = 0x10,
    KIV_NTFS_AT_ATTRIBUTE_LIST = 0x20,
    KIV_NTFS_AT_FILE_NAME = 0x30,
    KIV_NTFS_AT_VOLUME_NAME = 0x60,
    KIV_NTFS_AT_DATA = 0x80,
    KIV_NTFS_AT_LOGGED_UTILITY_STREAM = 0x100,
    KIV_NTFS_AT_END = 0xFFFFFFFF,
};

constexpr uint64_t KIV_NTFS_REF_MASK = 0x0000FFFFFFFFFFFFull;  // record number part of a reference

// Where the fields of a file record's header lie (byte offsets from the record's start).
namespace KivNtfsRecordAt {
constexpr size_t kUsaOffset = 4;   // 16 bits: the update sequence array
constexpr size_t kUsaCount = 6;    // 16 bits: its entries, the sequence number and one per stride
constexpr size_t kSequence = 16;   // 16 bits
constexpr size_t kFirstAttr = 20;  // 16 bits
constexpr size_t kFlags = 22;      // 16 bits
constexpr size_t kUsed = 24;       // 32 bits: bytes in use
constexpr size_t kAllocated = 28;  // 32 bits: the record's size
constexpr size_t kBaseRef = 32;    // 64 bits: the base record of an extension record
constexpr size_t kNumber = 44;     // 32 bits: the record's own number (records from NTFS 3.1)
}  // namespace KivNtfsRecordAt

// One attribute of a record, decoded from its header. Spans point into the record's copy.
struct KivNtfsAttr {
    uint32_t nType = 0;
    uint16_t nFlags = 0;  // 0x0001 compressed, 0x4000 encrypted, 0x8000 sparse
    bool bNonResident = false;
    std::u16string name;
    uint32_t nOffset = 0;  // of the attribute inside the record
    // Resident:
    std::span<const uint8_t> value;
    uint32_t nValueOffset = 0;  // inside the record
    // Non-resident:
    uint64_t nStartVcn = 0;
    uint64_t nLastVcn = 0;
    uint16_t nCompressionUnit = 0;
    uint64_t nAllocatedSize = 0;
    uint64_t nRealSize = 0;
    std::span<const uint8_t> mappingPairs;  // up to the end of the attribute
};

struct KivNtfsFileName {
    uint64_t nParentRef = 0;
    uint64_t nCTime = 0, nMTime = 0, nATime = 0;
    uint64_t nAllocated = 0, nRealSize = 0;
    uint32_t nFlags = 0;
    uint8_t nNamespace = 0;  // 0 POSIX, 1 Win32, 2 DOS, 3 Win32&DOS
    std::u16string name;
};

struct KivNtfsStdInfo {
    uint64_t nCTime = 0, nMTime = 0, nATime = 0;
    uint32_t nAttributes = 0;
};

struct KivNtfsListEntry {  // one entry of an $ATTRIBUTE_LIST
    uint32_t nType = 0;
    uint64_t nStartVcn = 0;
    uint64_t nRecordRef = 0;
    std::u16string name;
};

class CKivNtfsFileRecord {
public:
    // Copies the record, checks "FILE" and the header, and applies the update-sequence fix-ups
    // (512-byte stride). False for anything that is not a sound record.
    bool Parse(std::span<const uint8_t> data);

    bool IsInUse() const { return m_nFlags & 0x01; }
    bool IsDirectory() const { return m_nFlags & 0x02; }
    uint16_t GetSequence() const { return m_nSequence; }
    uint64_t GetBaseRef() const { return m_nBaseRef; }
    uint32_t GetRecordNumber() const { return m_nRecordNumber; }  // 0xFFFFFFFF when not stored
    uint32_t GetAllocatedBytes() const { return m_nAllocated; }
    std::span<const uint8_t> Bytes() const { return m_bytes; }

    // Every attribute, in record order; malformed attributes end the list.
    const std::vector<KivNtfsAttr>& Attributes() const { return m_attrs; }

    // Decoders for the attribute kinds the scanner uses (false when the value is malformed).
    static bool DecodeFileName(const KivNtfsAttr& a, KivNtfsFileName* pOut);
    static bool DecodeStdInfo(const KivNtfsAttr& a, KivNtfsStdInfo* pOut);
    static void DecodeAttributeList(std::span<const uint8_t> value, std::vector<KivNtfsListEntry>* pOut);

    // The first $FILE_NAME equal to one of the system names, when the record is flagged hidden+system.
    std::u16string SystemName() const;

private:
    std::vector<uint8_t> m_bytes;
    std::vector<KivNtfsAttr> m_attrs;
    uint16_t m_nFlags = 0;
    uint16_t m_nSequence = 0;
    uint64_t m_nBaseRef = 0;
    uint32_t m_nRecordNumber = 0xFFFFFFFF;
    uint32_t m_nAllocated = 0;
};

// Applies update-sequence fix-ups in place; false when the array is malformed or a sector's
// check value does not match.
bool KivNtfsApplyFixups(std::span<uint8_t> rec);

std::string KivNtfsNameToUtf8(const std::u16string& name);
