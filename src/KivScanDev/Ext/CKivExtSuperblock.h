// An ext2/ext3/ext4 superblock: the test that recognises one (the primary at byte 1024 of the
// volume or a backup at the start of a block group), the kind its features make it, and where the
// volume and its group descriptors lie.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace KivExt {

constexpr uint32_t kSuperOffset = 1024;  // of the primary copy, from the volume start
constexpr uint32_t kSuperBytes = 1024;
constexpr uint16_t kMagic = 0xEF53;
constexpr uint32_t kRootInode = 2;

// Feature bits.
enum : uint32_t {
    kCompatHasJournal = 0x4,
    kCompatSparseSuper2 = 0x200,
    kIncompatFiletype = 0x2,
    kIncompatRecover = 0x4,
    kIncompatJournalDev = 0x8,
    kIncompatMetaBg = 0x10,
    kIncompatExtents = 0x40,
    kIncompat64Bit = 0x80,
    kIncompatMmp = 0x100,
    kIncompatFlexBg = 0x200,
    kIncompatEaInode = 0x400,
    kIncompatDirData = 0x1000,
    kIncompatCsumSeed = 0x2000,
    kIncompatLargeDir = 0x4000,
    kIncompatInlineData = 0x8000,
    kIncompatEncrypt = 0x10000,
    kIncompatCasefold = 0x20000,
    kRoCompatSparseSuper = 0x1,
    kRoCompatLargeFile = 0x2,
    kRoCompatHugeFile = 0x8,
    kRoCompatGdtCsum = 0x10,
    kRoCompatDirNlink = 0x20,
    kRoCompatExtraIsize = 0x40,
    kRoCompatQuota = 0x100,
    kRoCompatBigalloc = 0x200,
    kRoCompatMetadataCsum = 0x400,
    kRoCompatReadonly = 0x1000,
    kRoCompatProject = 0x2000,
};

}  // namespace KivExt

class CKivExtSuperblock {
public:
    // Decodes and tests kSuperBytes bytes. A superblock passes when its fields describe a volume
    // that can exist: magic, block and group sizes, inode size, counts that agree with each other.
    bool Parse(std::span<const uint8_t> bytes);

    // KIV_FS_EXT2, KIV_FS_EXT3 or KIV_FS_EXT4 by the features: any ext4 feature makes ext4, a
    // journal without them ext3.
    int32_t Kind() const;
    uint32_t BlockSize() const { return 1024u << m_nLogBlockSize; }
    uint32_t GroupCount() const { return m_nGroups; }
    uint32_t DescSize() const { return (m_nIncompat & KivExt::kIncompat64Bit) ? m_nDescSize : 32; }
    bool Has64Bit() const { return (m_nIncompat & KivExt::kIncompat64Bit) != 0; }
    bool HasMetaBg() const { return (m_nIncompat & KivExt::kIncompatMetaBg) != 0; }
    bool HasFiletype() const { return (m_nIncompat & KivExt::kIncompatFiletype) != 0; }
    bool HasInlineData() const { return (m_nIncompat & KivExt::kIncompatInlineData) != 0; }
    bool HasHugeFile() const { return (m_nRoCompat & KivExt::kRoCompatHugeFile) != 0; }
    bool HasMetadataCsum() const { return (m_nRoCompat & KivExt::kRoCompatMetadataCsum) != 0; }
    // What every metadata checksum starts from: the stored seed, or the one the UUID gives.
    uint32_t ChecksumSeed() const;
    // Whether group g holds a copy of the superblock (and of the descriptors, without meta_bg).
    bool GroupHasSuper(uint64_t g) const;
    // First block of group g.
    uint64_t GroupFirstBlock(uint64_t g) const { return m_nFirstDataBlock + g * m_nBlocksPerGroup; }
    // The block number this copy of the superblock was written at (its group's copy), and the byte
    // offset of the copy from the volume start.
    uint64_t SuperBlockNumber() const { return m_nGroupNr == 0 ? m_nFirstDataBlock : GroupFirstBlock(m_nGroupNr); }
    uint64_t SuperByteOffset() const;
    // The block holding group descriptor block i (each holds BlockSize() / DescSize() groups),
    // read next to this copy of the superblock.
    uint64_t DescriptorBlock(uint64_t i) const;
    // The label (up to 16 bytes, as stored) and the UUID in its usual text form.
    std::string Label() const;
    std::string UuidText() const;

    uint32_t m_nInodesCount = 0;       // 0x00
    uint64_t m_nBlocksCount = 0;       // 0x04, high half at 0x150 with 64bit
    uint64_t m_nFreeBlocks = 0;        // 0x0C
    uint32_t m_nFreeInodes = 0;        // 0x10
    uint32_t m_nFirstDataBlock = 0;    // 0x14
    uint32_t m_nLogBlockSize = 0;      // 0x18
    uint32_t m_nBlocksPerGroup = 0;    // 0x20
    uint32_t m_nInodesPerGroup = 0;    // 0x28
    uint32_t m_nMountTime = 0;         // 0x2C
    uint32_t m_nWriteTime = 0;         // 0x30
    uint16_t m_nState = 0;             // 0x3A
    uint32_t m_nRevLevel = 0;          // 0x4C
    uint32_t m_nFirstInode = 11;       // 0x54
    uint16_t m_nInodeSize = 128;       // 0x58
    uint16_t m_nGroupNr = 0;           // 0x5A: the group this copy stands in
    uint32_t m_nCompat = 0;            // 0x5C
    uint32_t m_nIncompat = 0;          // 0x60
    uint32_t m_nRoCompat = 0;          // 0x64
    std::array<uint8_t, 16> m_uuid{};  // 0x68
    std::array<char, 16> m_label{};    // 0x78
    uint32_t m_nJournalInode = 0;      // 0xE0
    uint8_t m_nHashVersion = 0;        // 0xFC
    uint16_t m_nDescSize = 0;          // 0xFE
    uint32_t m_nFirstMetaBg = 0;       // 0x104
    uint32_t m_nMkfsTime = 0;          // 0x108
    uint16_t m_nMinExtraIsize = 0;     // 0x15C
    uint8_t m_nLogGroupsPerFlex = 0;   // 0x174
    uint32_t m_aBackupBgs[2] = {};     // 0x24C, with sparse_super2
    uint32_t m_nChecksumSeed = 0;      // 0x270, with csum_seed
    // Inodes the volume keeps for itself (quota files, the orphan file), beside the reserved ones.
    uint32_t m_aOwnInodes[4] = {};     // 0x240, 0x244, 0x26C, 0x280
    bool IsOwnInode(uint32_t n) const {
        return n == m_nJournalInode || n == m_aOwnInodes[0] || n == m_aOwnInodes[1] || n == m_aOwnInodes[2] ||
               n == m_aOwnInodes[3];
    }
    uint32_t m_nChecksum = 0;          // 0x3FC

private:
    uint32_t m_nGroups = 0;
};
