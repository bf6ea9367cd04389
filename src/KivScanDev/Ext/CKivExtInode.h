// One inode as stored in an inode table: type, size, times (with their nanoseconds and the
// creation time of large inodes), flags, the 60 bytes of block pointers or extent root, and the
// data that an inline-data inode keeps in its extended-attribute space.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class CKivExtSuperblock;

namespace KivExt {

enum : uint16_t {
    kModeTypeMask = 0xF000,
    kModeFifo = 0x1000,
    kModeChar = 0x2000,
    kModeDir = 0x4000,
    kModeBlock = 0x6000,
    kModeFile = 0x8000,
    kModeLink = 0xA000,
    kModeSocket = 0xC000,
};
enum : uint32_t {
    kFlagIndex = 0x1000,         // hashed directory
    kFlagHugeFile = 0x40000,     // i_blocks counts file-system blocks
    kFlagExtents = 0x80000,
    kFlagEaInode = 0x200000,
    kFlagInlineData = 0x10000000,
};
constexpr size_t kBlockBytes = 60;  // i_block

}  // namespace KivExt

class CKivExtInode {
public:
    // Decodes one inode of sb's inode size; false when the bytes are short. With nInode and a
    // volume with metadata checksums, the inode's own checksum is checked too (ChecksumBad).
    bool Parse(std::span<const uint8_t> bytes, const CKivExtSuperblock& sb, uint32_t nInode = 0);
    bool ChecksumBad() const { return m_bCsumBad; }
    // The seed of the checksums of this inode's own blocks (directory blocks, extent blocks).
    uint32_t ChecksumSeed(uint32_t nVolumeSeed, uint32_t nInode) const;

    uint16_t Type() const { return m_nMode & KivExt::kModeTypeMask; }
    bool IsDir() const { return Type() == KivExt::kModeDir; }
    bool IsFile() const { return Type() == KivExt::kModeFile; }
    bool IsLink() const { return Type() == KivExt::kModeLink; }
    bool HasExtents() const { return (m_nFlags & KivExt::kFlagExtents) != 0; }
    bool HasInlineData() const { return (m_nFlags & KivExt::kFlagInlineData) != 0; }
    // A symbolic link whose target lies in the block pointers themselves.
    bool IsFastLink(uint32_t nBlockSize) const;
    // In use: linked somewhere and not deleted.
    bool InUse() const { return m_nLinks != 0 && m_nDtime == 0 && m_nMode != 0; }
    // Windows file times; 0 when the inode has none (creation time of a small inode).
    uint64_t AccessTime() const { return m_nATimeFt; }
    uint64_t ModificationTime() const { return m_nMTimeFt; }
    uint64_t ChangeTime() const { return m_nCTimeFt; }
    uint64_t CreationTime() const { return m_nCrTimeFt; }
    bool HasCreationTime() const { return m_bCrTime; }
    // Inline data: the 60 bytes of i_block, then the value of "system.data", cut to the size.
    std::vector<uint8_t> InlineData() const;

    uint16_t m_nMode = 0;
    uint64_t m_nSize = 0;
    uint32_t m_nDtime = 0;
    uint16_t m_nLinks = 0;
    uint64_t m_nBlocks = 0;  // in 512-byte units unless huge_file says otherwise
    uint32_t m_nFlags = 0;
    uint64_t m_nFileAcl = 0;
    uint32_t m_nGeneration = 0;
    std::array<uint8_t, KivExt::kBlockBytes> m_block{};
    std::vector<uint8_t> m_systemData;  // the "system.data" value found in the inode

private:
    void ParseInlineXattr(std::span<const uint8_t> bytes, size_t nStart);

    uint64_t m_nATimeFt = 0;
    uint64_t m_nMTimeFt = 0;
    uint64_t m_nCTimeFt = 0;
    uint64_t m_nCrTimeFt = 0;
    bool m_bCrTime = false;
    bool m_bCsumBad = false;
};
