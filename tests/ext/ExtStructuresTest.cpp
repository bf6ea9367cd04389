// The on-disk pieces one at a time, on hostile bytes: superblock rules, extent trees that loop or
// lie about their depth, block maps pointing outside the volume, directory blocks whose rec_len
// lies, deleted entries in the slack, inline data, and the scanner's saved state.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "Ext/CKivExtDataMap.h"
#include "Ext/CKivExtDirEntries.h"
#include "Ext/CKivExtInode.h"
#include "Ext/CKivExtJournal.h"
#include "Ext/CKivExtScanner.h"
#include "Ext/CKivExtSuperblock.h"
#include "Ext/CKivScanResPartExt.h"
#include "KivMemDevStor.h"
#include "Model/CKivMemStream.h"
#include "KivPutLE.h"
#include "platform/KivPlatform.h"

namespace {

// A superblock of an 8 MiB volume of 1 KiB blocks: one group of 8192 blocks, 2048 inodes.
std::vector<uint8_t> Super() {
    std::vector<uint8_t> b(1024, 0);
    Put32(b, 0x00, 2048);
    Put32(b, 0x04, 8192);
    Put32(b, 0x14, 1);
    Put32(b, 0x18, 0);
    Put32(b, 0x20, 8192);
    Put32(b, 0x28, 2048);
    Put16(b, 0x38, 0xEF53);
    Put32(b, 0x4C, 1);
    Put32(b, 0x54, 11);
    Put16(b, 0x58, 256);
    return b;
}

// Extent header + entries, as in i_block or a tree block.
void ExtentHeader(std::vector<uint8_t>& b, size_t at, uint16_t nEntries, uint16_t nMax, uint16_t nDepth) {
    Put16(b, at, 0xF30A);
    Put16(b, at + 2, nEntries);
    Put16(b, at + 4, nMax);
    Put16(b, at + 6, nDepth);
}

CKivExtInode InodeWithBlock(const std::vector<uint8_t>& iblock, uint32_t nFlags, uint64_t nSize) {
    CKivExtSuperblock sb;
    EXPECT_TRUE(sb.Parse(Super()));
    std::vector<uint8_t> raw(256, 0);
    Put16(raw, 0, 0x8000 | 0644);
    Put32(raw, 0x04, static_cast<uint32_t>(nSize));
    Put16(raw, 0x1A, 1);
    Put32(raw, 0x20, nFlags);
    std::memcpy(raw.data() + 0x28, iblock.data(), std::min<size_t>(60, iblock.size()));
    CKivExtInode ino;
    EXPECT_TRUE(ino.Parse(raw, sb));
    return ino;
}

}  // namespace

TEST(ExtStructures, SuperblockRulesAndKinds) {
    CKivExtSuperblock sb;
    std::vector<uint8_t> b = Super();
    ASSERT_TRUE(sb.Parse(b));
    EXPECT_EQ(sb.Kind(), KIV_FS_EXT2);
    EXPECT_EQ(sb.GroupCount(), 1u);
    Put32(b, 0x5C, KivExt::kCompatHasJournal);
    ASSERT_TRUE(sb.Parse(b));
    EXPECT_EQ(sb.Kind(), KIV_FS_EXT3);
    Put32(b, 0x60, KivExt::kIncompatExtents | KivExt::kIncompatFiletype);
    ASSERT_TRUE(sb.Parse(b));
    EXPECT_EQ(sb.Kind(), KIV_FS_EXT4);
    // Each of these describes no volume that can exist.
    auto bad = [&](size_t at, uint32_t v, int nBytes) {
        std::vector<uint8_t> x = Super();
        if (nBytes == 2) Put16(x, at, static_cast<uint16_t>(v));
        else Put32(x, at, v);
        return !sb.Parse(x);
    };
    EXPECT_TRUE(bad(0x18, 7, 4)) << "blocks of 128 KiB";
    EXPECT_TRUE(bad(0x14, 0, 4)) << "1 KiB blocks start at block 1";
    EXPECT_TRUE(bad(0x20, 0, 4)) << "no blocks per group";
    EXPECT_TRUE(bad(0x00, 2047, 4)) << "inode count not what the groups hold";
    EXPECT_TRUE(bad(0x58, 200, 2)) << "inode size not a power of two";
    EXPECT_TRUE(bad(0x58, 2048, 2)) << "inode larger than a block";
    EXPECT_TRUE(bad(0x5A, 1, 2)) << "a copy for a group that does not exist";
    EXPECT_FALSE(sb.Parse(std::span<const uint8_t>(Super()).first(1000))) << "short";
    // Backups with sparse_super: groups 0, 1 and the powers of 3, 5 and 7.
    std::vector<uint8_t> x = Super();
    Put32(x, 0x64, KivExt::kRoCompatSparseSuper);
    ASSERT_TRUE(sb.Parse(x));
    std::vector<uint64_t> with;
    for (uint64_t g = 0; g < 50; ++g)
        if (sb.GroupHasSuper(g)) with.push_back(g);
    EXPECT_EQ(with, (std::vector<uint64_t>{0, 1, 3, 5, 7, 9, 25, 27, 49}));
}

TEST(ExtStructures, ExtentTreesThatLoopOrLieAreCut) {
    const uint32_t bs = 1024;
    std::map<uint64_t, std::vector<uint8_t>> disk;
    CKivExtDataMap map(bs, 8192, [&](uint64_t n, std::vector<uint8_t>* p) {
        auto it = disk.find(n);
        if (it == disk.end()) return false;
        *p = it->second;
        return true;
    });
    // Depth 1: the root points at block 100, a leaf with two extents (one unwritten).
    std::vector<uint8_t> leaf(bs, 0);
    ExtentHeader(leaf, 0, 2, 84, 0);
    Put32(leaf, 12, 0);
    Put16(leaf, 16, 3);
    Put32(leaf, 20, 500);
    Put32(leaf, 24, 5);
    Put16(leaf, 28, 32768 + 2);
    Put32(leaf, 32, 600);
    disk[100] = leaf;
    std::vector<uint8_t> root(60, 0);
    ExtentHeader(root, 0, 1, 4, 1);
    Put32(root, 12, 0);
    Put32(root, 16, 100);
    CKivExtInode ino = InodeWithBlock(root, KivExt::kFlagExtents, 8 * bs);
    std::vector<uint64_t> meta;
    auto ext = map.Map(ino, 8, &meta);
    EXPECT_FALSE(map.Damaged());
    ASSERT_EQ(ext.size(), 2u);
    EXPECT_EQ(meta, std::vector<uint64_t>{100});
    auto runs = CKivExtDataMap::ToRuns(ext, 8);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].nStart, 500u);
    EXPECT_EQ(runs[0].nLength, 3u);
    EXPECT_EQ(runs[1].nStart, KIV_SPARSE_RUN) << "a hole, unwritten blocks and the tail all read as zeros";
    EXPECT_EQ(runs[1].nLength, 5u);

    // The leaf made an index pointing at itself: read once, then refused.
    std::vector<uint8_t> self(bs, 0);
    ExtentHeader(self, 0, 1, 84, 1);
    Put32(self, 12, 0);
    Put32(self, 16, 100);
    disk[100] = self;
    ExtentHeader(root, 0, 1, 4, 2);
    ino = InodeWithBlock(root, KivExt::kFlagExtents, 8 * bs);
    EXPECT_TRUE(map.Map(ino, 8, nullptr).empty());
    EXPECT_TRUE(map.Damaged()) << "a depth that does not go down, and a block read twice";
    // More entries than the node holds, a depth beyond the format's, a pointer past the volume.
    ExtentHeader(root, 0, 5, 4, 0);
    EXPECT_TRUE(map.Map(InodeWithBlock(root, KivExt::kFlagExtents, bs), 1, nullptr).empty());
    ExtentHeader(root, 0, 1, 4, 9);
    EXPECT_TRUE(map.Map(InodeWithBlock(root, KivExt::kFlagExtents, bs), 1, nullptr).empty());
    ExtentHeader(root, 0, 1, 4, 0);
    Put16(root, 16, 10);
    Put32(root, 20, 8190);
    ext = map.Map(InodeWithBlock(root, KivExt::kFlagExtents, 10 * bs), 10, nullptr);
    ASSERT_EQ(ext.size(), 1u);
    EXPECT_EQ(ext[0].nLength, 2u) << "cut at the volume's end";
    EXPECT_TRUE(map.Damaged());
}

TEST(ExtStructures, BlockMapsThroughTripleIndirectWithHolesAndLoops) {
    const uint32_t bs = 1024;  // 256 pointers a block
    std::map<uint64_t, std::vector<uint8_t>> disk;
    CKivExtDataMap map(bs, 1u << 20, [&](uint64_t n, std::vector<uint8_t>* p) {
        auto it = disk.find(n);
        if (it == disk.end()) return false;
        *p = it->second;
        return true;
    });
    std::vector<uint8_t> iblock(60, 0);
    Put32(iblock, 0, 1000);  // block 0
    // Triple: 3000 -> 3001 -> 3002 -> data 7000 at logical 12 + 256 + 65536.
    Put32(iblock, 14 * 4, 3000);
    for (uint64_t b : {3000, 3001, 3002}) disk[b] = std::vector<uint8_t>(bs, 0);
    Put32(disk[3000], 0, 3001);
    Put32(disk[3001], 0, 3002);
    Put32(disk[3002], 0, 7000);
    const uint64_t nTriple = 12 + 256 + 65536;
    CKivExtInode ino = InodeWithBlock(iblock, 0, (nTriple + 1) * bs);
    auto ext = map.Map(ino, nTriple + 1, nullptr);
    EXPECT_FALSE(map.Damaged());
    ASSERT_EQ(ext.size(), 2u);
    EXPECT_EQ(ext[1].nLogical, nTriple);
    EXPECT_EQ(ext[1].nPhysical, 7000u);
    // An indirect block that points back at the chain ends the walk there.
    Put32(disk[3001], 0, 3000);
    ext = map.Map(ino, nTriple + 1, nullptr);
    EXPECT_EQ(ext.size(), 1u);
    EXPECT_TRUE(map.Damaged());
}

TEST(ExtStructures, DirectoryBlocksWithLyingRecLenAndHiddenEntries) {
    CKivExtDirEntries dir(2048);
    std::vector<uint8_t> b(1024, 0);
    auto Entry = [&](size_t at, uint32_t ino, uint16_t recLen, const std::string& name, uint8_t type) {
        Put32(b, at, ino);
        Put16(b, at + 4, recLen);
        b[at + 6] = static_cast<uint8_t>(name.size());
        b[at + 7] = type;
        std::memcpy(b.data() + at + 8, name.data(), name.size());
    };
    Entry(0, 2, 12, ".", 2);
    Entry(12, 2, 12, "..", 2);
    // "alpha" grew over "gone.txt" (deleted) and the tail.
    Entry(24, 12, 1000, "alpha", 1);
    Entry(40, 13, 984, "gone.txt", 1);
    std::vector<KivExtDirEntry> out;
    EXPECT_TRUE(dir.ParseBlock(b, true, &out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].name, "alpha");
    EXPECT_FALSE(out[0].bDeleted);
    EXPECT_EQ(out[1].name, "gone.txt");
    EXPECT_EQ(out[1].nInode, 13u);
    EXPECT_TRUE(out[1].bDeleted);
    out.clear();
    EXPECT_TRUE(dir.ParseBlock(b, false, &out));
    EXPECT_EQ(out.size(), 1u);

    // rec_len lies: past the block, shorter than the name, unaligned, zero. The entries before the
    // lie stay; nothing after it is read.
    for (uint16_t lie : {uint16_t(2000), uint16_t(8), uint16_t(1001), uint16_t(0)}) {
        std::vector<uint8_t> c = b;
        Put16(c, 28, lie);
        out.clear();
        EXPECT_FALSE(dir.ParseBlock(c, true, &out)) << lie;
        EXPECT_TRUE(out.empty()) << lie;  // "." and ".." are no entries of their own
    }
    // An inode number beyond the volume's count ends the block too.
    std::vector<uint8_t> c = b;
    Put32(c, 24, 5000);
    out.clear();
    EXPECT_FALSE(dir.ParseBlock(c, true, &out));
    // An index node of a hashed folder is no entries at all.
    std::vector<uint8_t> node(1024, 0);
    Put16(node, 4, 1024);
    Put16(node, 8, 126);
    Put16(node, 10, 1);
    out.clear();
    EXPECT_TRUE(dir.ParseBlock(node, true, &out));
    EXPECT_TRUE(out.empty());
}

TEST(ExtStructures, InlineDataAndTimes) {
    CKivExtSuperblock sb;
    ASSERT_TRUE(sb.Parse(Super()));
    std::vector<uint8_t> raw(256, 0);
    Put16(raw, 0, 0x8000 | 0644);
    Put32(raw, 0x04, 70);
    Put16(raw, 0x1A, 1);
    Put32(raw, 0x20, KivExt::kFlagInlineData);
    Put32(raw, 0x10, 0x7FFFFFFF);  // mtime, with epoch bits 1 in its extra word: past 2038
    for (int i = 0; i < 60; ++i) raw[0x28 + i] = static_cast<uint8_t>('a' + i % 26);
    Put16(raw, 0x80, 12);
    Put32(raw, 0x88, (500u << 2) | 1);
    // In-inode attributes: "system.data" holding the 10 bytes past the first 60.
    size_t x = 128 + 12;
    Put32(raw, x, 0xEA020000u);
    raw[x + 4] = 4;
    raw[x + 5] = 7;
    Put16(raw, x + 6, 40);
    Put32(raw, x + 12, 10);
    std::memcpy(raw.data() + x + 20, "data", 4);
    std::memcpy(raw.data() + x + 4 + 40, "0123456789", 10);
    CKivExtInode ino;
    ASSERT_TRUE(ino.Parse(raw, sb));
    std::vector<uint8_t> d = ino.InlineData();
    ASSERT_EQ(d.size(), 70u);
    EXPECT_EQ(std::string(d.begin() + 60, d.end()), "0123456789");
    EXPECT_EQ(ino.ModificationTime(), KivUnixToFileTime(0x7FFFFFFFLL + (1LL << 32), 500));
    EXPECT_TRUE(ino.HasCreationTime() == false) << "the extra size stops short of crtime";
    // A value offset past the inode is left out, not read.
    Put16(raw, x + 6, 200);
    ASSERT_TRUE(ino.Parse(raw, sb));
    EXPECT_EQ(ino.InlineData().size(), 60u);
}

TEST(ExtStructures, ScannerStateAndPartitionRoundTrip) {
    // A device of 16 MiB holding a superblock at sector 2 and a backup copy at block 8193 of a
    // 16 MiB volume of 1 KiB blocks and two groups.
    std::vector<uint8_t> sb = Super();
    Put32(sb, 0x00, 4096);
    Put32(sb, 0x04, 16384);
    Put32(sb, 0x64, KivExt::kRoCompatSparseSuper);
    std::vector<uint8_t> dev(16u << 20, 0);
    std::memcpy(dev.data() + 1024, sb.data(), 1024);
    Put16(sb, 0x5A, 1);
    std::memcpy(dev.data() + 8193 * 1024, sb.data(), 1024);
    KivMemDevStor mem(dev);
    CKivExtScanner s;
    s.SetStorage(&mem);
    for (uint64_t i = 0; i < dev.size() / 512; ++i)
        s.AnalyzeSector(std::span<const uint8_t>(dev).subspan(i * 512, std::min<size_t>(1024, dev.size() - i * 512)), i,
                        nullptr);
    CKivMemStream st;
    ASSERT_EQ(KivErrNo(s.SaveState(&st)), 0u);
    CKivExtScanner t;
    t.SetStorage(&mem);
    ASSERT_EQ(KivErrNo(t.LoadState(&st)), 0u);
    std::vector<CKivScanResPart*> parts;
    t.EnumParts(&parts);
    ASSERT_EQ(parts.size(), 1u);
    auto* p = dynamic_cast<CKivScanResPartExt*>(parts[0]);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_nType, KIV_FS_EXT2);
    EXPECT_EQ(p->m_nFirstSector, 0u);
    EXPECT_EQ(p->m_nSecPerClus, 2u);
    EXPECT_EQ(p->m_nBackups, 1u);
    EXPECT_EQ(p->m_nSuperSector, 2u);
    EXPECT_EQ(p->m_nEvidenceC, 100u);
    CKivMemStream ps;
    ASSERT_TRUE(p->Save(&ps));
    CKivScanResPartExt q(KIV_FS_NONE, 512);
    ASSERT_TRUE(q.Load(&ps));
    EXPECT_EQ(q.m_nBlocksCount, 16384u);
    EXPECT_EQ(q.m_nSuperSector, 2u);
    EXPECT_EQ(q.GetScannerKind(), KIV_SCANNER_EXT2);
    delete parts[0];
    // A state cut short loads nothing.
    CKivMemStream whole;
    ASSERT_EQ(KivErrNo(s.SaveState(&whole)), 0u);
    CKivMemStream cut(std::span<const uint8_t>(whole.Data()).first(whole.Size() - 3));
    EXPECT_NE(KivErrNo(t.LoadState(&cut)), 0u);
    parts.clear();
    t.EnumParts(&parts);
    EXPECT_TRUE(parts.empty());
}

TEST(ExtStructures, JournalCopiesOnlyFromCommittedTransactionsNewestFirst) {
    const uint32_t bs = 1024;
    auto BE32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
    };
    // A journal of 16 blocks at volume blocks 100..115, without 64-bit or checksum features.
    std::map<uint64_t, std::vector<uint8_t>> disk;
    for (uint64_t i = 0; i < 16; ++i) disk[100 + i] = std::vector<uint8_t>(bs, 0);
    std::vector<uint8_t>& sb = disk[100];
    BE32(sb, 0, CKivExtJournal::kMagic);
    BE32(sb, 4, 4);
    BE32(sb, 12, bs);
    BE32(sb, 16, 16);
    BE32(sb, 20, 1);
    auto Descriptor = [&](uint64_t j, uint32_t seq, std::vector<std::pair<uint32_t, uint16_t>> tags) {
        std::vector<uint8_t>& d = disk[100 + j];
        BE32(d, 0, CKivExtJournal::kMagic);
        BE32(d, 4, 1);
        BE32(d, 8, seq);
        size_t off = 12;
        for (size_t i = 0; i < tags.size(); ++i) {
            BE32(d, off, tags[i].first);
            uint16_t f = tags[i].second | (i ? 0x2 : 0) | (i + 1 == tags.size() ? 0x8 : 0);
            d[off + 6] = uint8_t(f >> 8);
            d[off + 7] = uint8_t(f);
            off += 8 + ((f & 0x2) ? 0 : 16);
        }
    };
    auto Commit = [&](uint64_t j, uint32_t seq) {
        BE32(disk[100 + j], 0, CKivExtJournal::kMagic);
        BE32(disk[100 + j], 4, 2);
        BE32(disk[100 + j], 8, seq);
    };
    // Transaction 5 logs block 42 (its copy escaped: it began with the magic), 6 logs it again,
    // 7 logs it too but never committed; 8's data wraps round the end of the area.
    Descriptor(1, 5, {{42, 0x1}, {43, 0}});
    disk[102][4] = 'A';
    disk[103][0] = 'x';
    Commit(4, 5);
    Descriptor(5, 6, {{42, 0}});
    disk[106][0] = 'B';
    Commit(7, 6);
    Descriptor(8, 7, {{42, 0}});
    disk[109][0] = 'C';
    Descriptor(14, 8, {{44, 0}, {45, 0}});
    disk[115][0] = 'D';
    Commit(3, 8);  // an older commit block reused: the area is a ring
    CKivExtJournal j;
    auto read = [&](uint64_t n, std::vector<uint8_t>* p) {
        auto it = disk.find(n);
        if (it == disk.end()) return false;
        *p = it->second;
        return true;
    };
    ASSERT_TRUE(j.Load({{0, 100, 16, false}}, bs, read, [](uint64_t b) { return b == 42 || b == 44 || b == 45; }));
    auto c = j.Copies(42);
    ASSERT_EQ(c.size(), 2u) << "the uncommitted one is left out";
    EXPECT_EQ(c[0][0], 'B');
    EXPECT_EQ(c[1][0], 0xC0) << "the escaped magic is put back";
    EXPECT_EQ(c[1][4], 'A');
    ASSERT_EQ(j.Copies(44).size(), 1u);
    EXPECT_EQ(j.Copies(44)[0][0], 'D');
    EXPECT_EQ(j.Copies(45).size(), 1u) << "wrapped to the area's first block (reused since)";
    EXPECT_TRUE(j.Copies(43).empty()) << "not asked for";
    // Tags running past the descriptor's end, and a journal superblock with another block size.
    std::vector<uint8_t>& d = disk[101];
    for (size_t off = 12; off + 8 <= bs; off += 8) d[off + 7] = 0x2;
    auto only42 = [](uint64_t b) { return b == 42; };
    EXPECT_TRUE(j.Load({{0, 100, 16, false}}, bs, read, only42));
    BE32(disk[100], 12, 4096);
    EXPECT_FALSE(j.Load({{0, 100, 16, false}}, bs, read, only42));
}
