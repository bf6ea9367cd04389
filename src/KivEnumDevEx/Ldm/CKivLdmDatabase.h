// The dynamic-disk (LDM) database of one disk: its PRIVHEAD, the TOCBLOCK and VMDB that locate the
// records, and the VBLK records (disks, partitions, components, volumes) decoded from big-endian,
// with records spread over several fragments joined first. Parsing works on byte spans so tests and
// fuzzers can feed it directly; ReadFrom does the I/O.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class IKivDevStor;

// The disk's own header.
struct KivLdmPrivHead {
    std::string strDiskGuid;     // text, offset 48
    uint64_t nDataStart = 0;     // first sector of the data area (offset 283), 512-byte units
    uint64_t nDataSize = 0;      // 291
    uint64_t nConfigStart = 0;   // first sector of the configuration area (299)
    uint64_t nConfigSize = 0;    // 307
};
bool KivParseLdmPrivHead(std::span<const uint8_t> sector, KivLdmPrivHead* pOut);

struct KivLdmDiskRec {
    uint64_t nId = 0;
    std::string strName, strGuid;  // the GUID as lower-case text
};
struct KivLdmPartRec {
    uint64_t nId = 0;
    std::string strName;
    uint64_t nStart = 0;       // relative to the data area, 512-byte units
    uint64_t nVolOffset = 0;   // inside its volume or column
    uint64_t nSize = 0;
    uint64_t nParentId = 0;    // component
    uint64_t nDiskId = 0;
    uint64_t nColumn = 0;      // when the record has one (flag 0x08)
    bool bHasColumn = false;
};
struct KivLdmCompRec {
    uint64_t nId = 0;
    std::string strName;
    uint8_t nType = 0;         // 1 stripe, 2 concatenation, 3 RAID
    uint64_t nParts = 0;
    uint64_t nParentId = 0;    // volume
    uint64_t nStripe = 0;      // sectors (flag 0x10)
    uint64_t nColumns = 0;
};
struct KivLdmVolRec {
    uint64_t nId = 0;
    std::string strName, strTypeName;  // "gen", "raid5"
    uint8_t nVolType = 0;      // 3 generic, 4 RAID-5
    uint64_t nComps = 0;
    uint64_t nSize = 0;        // 512-byte units
    uint8_t nPartType = 0;     // the partition type byte that hints at the file system
    uint8_t guid[16] = {};
};

struct KivLdmRecords {
    std::vector<KivLdmDiskRec> disks;
    std::vector<KivLdmPartRec> parts;
    std::vector<KivLdmCompRec> comps;
    std::vector<KivLdmVolRec> vols;
};

class CKivLdmDatabase {
public:
    static constexpr uint64_t kConfigSectors = 2048;  // 512-byte units read from the config area
    static constexpr size_t kDefaultRecordSize = 128;
    static constexpr uint32_t kMaxFragments = 64;

    // Finds the header of a disk (last sector, sector 6, sector 2081, the end of a GPT "LDM
    // metadata partition") and reads the configuration area. False when the disk carries none.
    bool ReadFrom(IKivDevStor* pDisk);

    // Decodes the configuration area: TOCBLOCK and VMDB give where the records start and their
    // size; without them the whole area is walked in 128-byte slots.
    void ParseConfig(std::span<const uint8_t> area);
    // Decodes one whole (joined) record; unknown types and malformed records are skipped.
    void ParseRecord(std::span<const uint8_t> rec);

    const KivLdmPrivHead& Head() const { return m_head; }
    const KivLdmRecords& Records() const { return m_recs; }

private:
    bool FindHead(IKivDevStor* pDisk);
    void WalkSlots(std::span<const uint8_t> area, size_t nFirst, size_t nSlot);

    KivLdmPrivHead m_head;
    KivLdmRecords m_recs;
};

// The lower-case text form of a 16-byte GUID stored in order ("%02x" per byte, dashes after bytes
// 4, 6, 8 and 10).
std::string KivLdmGuidText(const uint8_t* p16);
