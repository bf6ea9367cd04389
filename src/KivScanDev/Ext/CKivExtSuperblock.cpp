#include "CKivExtSuperblock.h"

#include <cstdio>

#include "KivByteReader.h"
#include "KivCrc32c.h"
#include "KivScanResult.h"

using namespace KivExt;

namespace {

// Whether n is a power of b (1 counting as b^0).
bool IsPowerOf(uint64_t n, uint64_t b) {
    if (n == 0) return false;
    while (n % b == 0) n /= b;
    return n == 1;
}

}  // namespace

bool CKivExtSuperblock::Parse(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSuperBytes) return false;
    KivByteReader r(bytes.first(kSuperBytes));
    if (r.U16At(0x38) != kMagic) return false;
    m_nInodesCount = r.U32At(0x00);
    m_nBlocksCount = r.U32At(0x04);
    m_nFreeBlocks = r.U32At(0x0C);
    m_nFreeInodes = r.U32At(0x10);
    m_nFirstDataBlock = r.U32At(0x14);
    m_nLogBlockSize = r.U32At(0x18);
    m_nBlocksPerGroup = r.U32At(0x20);
    m_nInodesPerGroup = r.U32At(0x28);
    m_nMountTime = r.U32At(0x2C);
    m_nWriteTime = r.U32At(0x30);
    m_nState = r.U16At(0x3A);
    m_nRevLevel = r.U32At(0x4C);
    m_nCompat = m_nIncompat = m_nRoCompat = 0;
    m_nFirstInode = 11;
    m_nInodeSize = 128;
    m_nGroupNr = 0;
    if (m_nRevLevel >= 1) {
        m_nFirstInode = r.U32At(0x54);
        m_nInodeSize = r.U16At(0x58);
        m_nGroupNr = r.U16At(0x5A);
        m_nCompat = r.U32At(0x5C);
        m_nIncompat = r.U32At(0x60);
        m_nRoCompat = r.U32At(0x64);
    }
    for (size_t i = 0; i < 16; ++i) {
        m_uuid[i] = r.U8At(0x68 + i);
        m_label[i] = static_cast<char>(r.U8At(0x78 + i));
    }
    m_nJournalInode = r.U32At(0xE0);
    m_nHashVersion = r.U8At(0xFC);
    m_nDescSize = r.U16At(0xFE);
    m_nFirstMetaBg = r.U32At(0x104);
    m_nMkfsTime = r.U32At(0x108);
    m_nMinExtraIsize = r.U16At(0x15C);
    m_nLogGroupsPerFlex = r.U8At(0x174);
    m_aBackupBgs[0] = r.U32At(0x24C);
    m_aBackupBgs[1] = r.U32At(0x250);
    m_nChecksumSeed = r.U32At(0x270);
    m_aOwnInodes[0] = r.U32At(0x240);
    m_aOwnInodes[1] = r.U32At(0x244);
    m_aOwnInodes[2] = r.U32At(0x26C);
    m_aOwnInodes[3] = r.U32At(0x280);
    m_nChecksum = r.U32At(0x3FC);
    if (Has64Bit()) {
        m_nBlocksCount |= uint64_t(r.U32At(0x150)) << 32;
        m_nFreeBlocks |= uint64_t(r.U32At(0x158)) << 32;
    }
    if (!r.Ok()) return false;

    // The sizes the format allows (blocks of 1 KiB to 64 KiB).
    if (m_nRevLevel > 1 || m_nLogBlockSize > 6) return false;
    const uint32_t bs = BlockSize();
    if (m_nFirstDataBlock != (bs == 1024 ? 1u : 0u) &&
        !(m_nFirstDataBlock == 0 && (m_nRoCompat & kRoCompatBigalloc)))
        return false;
    if (m_nBlocksPerGroup == 0 || m_nBlocksPerGroup > 8u * bs || m_nInodesPerGroup == 0 ||
        m_nInodesPerGroup > 8u * bs)
        return false;
    if ((m_nRoCompat & kRoCompatBigalloc) == 0 && m_nBlocksPerGroup % 8) return false;
    if (m_nInodeSize < 128 || m_nInodeSize > bs || (m_nInodeSize & (m_nInodeSize - 1))) return false;
    if (Has64Bit() && (m_nDescSize < 32 || m_nDescSize > 1024 || (m_nDescSize & (m_nDescSize - 1)))) return false;
    if (m_nBlocksCount <= m_nFirstDataBlock || m_nBlocksCount > (uint64_t(1) << 48)) return false;
    uint64_t nGroups = (m_nBlocksCount - m_nFirstDataBlock + m_nBlocksPerGroup - 1) / m_nBlocksPerGroup;
    if (nGroups == 0 || nGroups > 0xFFFFFFFFull) return false;
    // mke2fs makes the inode count exactly what the groups hold.
    if (uint64_t(m_nInodesCount) != nGroups * m_nInodesPerGroup) return false;
    if (m_nFreeBlocks > m_nBlocksCount || m_nFreeInodes > m_nInodesCount) return false;
    if (m_nFirstInode < 11 || m_nFirstInode >= m_nInodesCount) return false;
    if (m_nGroupNr >= nGroups) return false;
    m_nGroups = static_cast<uint32_t>(nGroups);
    return true;
}

int32_t CKivExtSuperblock::Kind() const {
    const uint32_t kExt4Incompat = kIncompatExtents | kIncompat64Bit | kIncompatMmp | kIncompatFlexBg |
                                   kIncompatEaInode | kIncompatCsumSeed | kIncompatLargeDir |
                                   kIncompatInlineData | kIncompatEncrypt | kIncompatCasefold;
    const uint32_t kExt4RoCompat = kRoCompatHugeFile | kRoCompatGdtCsum | kRoCompatDirNlink | kRoCompatExtraIsize |
                                   kRoCompatQuota | kRoCompatBigalloc | kRoCompatMetadataCsum | kRoCompatProject;
    if ((m_nIncompat & kExt4Incompat) || (m_nRoCompat & kExt4RoCompat)) return KIV_FS_EXT4;
    if ((m_nCompat & kCompatHasJournal) || (m_nIncompat & (kIncompatRecover | kIncompatJournalDev)))
        return KIV_FS_EXT3;
    return KIV_FS_EXT2;
}

bool CKivExtSuperblock::GroupHasSuper(uint64_t g) const {
    if (g == 0) return true;
    if (m_nCompat & kCompatSparseSuper2) return g == m_aBackupBgs[0] || g == m_aBackupBgs[1];
    if (g == 1 || !(m_nRoCompat & kRoCompatSparseSuper)) return true;
    if (g % 2 == 0) return false;
    return IsPowerOf(g, 3) || IsPowerOf(g, 5) || IsPowerOf(g, 7);
}

uint64_t CKivExtSuperblock::SuperByteOffset() const {
    if (m_nGroupNr == 0) return kSuperOffset;
    return GroupFirstBlock(m_nGroupNr) * BlockSize();
}

uint64_t CKivExtSuperblock::DescriptorBlock(uint64_t i) const {
    const uint64_t nSuper = SuperBlockNumber();
    if (!HasMetaBg() || i < m_nFirstMetaBg) return nSuper + 1 + i;
    // With meta_bg each run of groups keeps its descriptors in its own first group (copies in the
    // second and last). The primary copy is taken unless this superblock is a backup: then the copy
    // in the second group of each run.
    const uint64_t nPerBlock = BlockSize() / DescSize();
    uint64_t g = i * nPerBlock;
    if (m_nGroupNr != 0 && g + 1 < m_nGroups) ++g;
    return GroupFirstBlock(g) + (GroupHasSuper(g) ? 1 : 0);
}

uint32_t CKivExtSuperblock::ChecksumSeed() const {
    if (m_nIncompat & kIncompatCsumSeed) return m_nChecksumSeed;
    return KivCrc32cUpdate(~0u, m_uuid.data(), m_uuid.size());
}

std::string CKivExtSuperblock::Label() const {
    std::string s(m_label.data(), m_label.size());
    if (size_t z = s.find('\0'); z != std::string::npos) s.resize(z);
    return s;
}

std::string CKivExtSuperblock::UuidText() const {
    char sz[40];
    const auto& u = m_uuid;
    std::snprintf(sz, sizeof sz, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", u[0], u[1],
                  u[2], u[3], u[4], u[5], u[6], u[7], u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
    return sz;
}
