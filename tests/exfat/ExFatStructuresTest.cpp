// The on-disk pieces one at a time: boot sector rules, entry sets, times, the up-case table, the
// bitmap and the runs of live and deleted entries.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ExFat/CKivExFatBitmap.h"
#include "ExFat/CKivExFatBootSector.h"
#include "ExFat/CKivExFatDirSector.h"
#include "ExFat/CKivExFatEntrySet.h"
#include "ExFat/CKivExFatRunBuilder.h"
#include "ExFat/CKivExFatUpcase.h"
#include "KivPutLE.h"
#include "platform/KivPlatform.h"

namespace {

// A boot sector of a 64 MiB volume of 512-byte sectors and 4 KiB clusters.
std::vector<uint8_t> Boot(uint8_t nSectorShift = 9) {
    std::vector<uint8_t> b(512, 0);
    const uint8_t head[] = {0xEB, 0x76, 0x90, 'E', 'X', 'F', 'A', 'T', ' ', ' ', ' '};
    std::memcpy(b.data(), head, sizeof head);
    Put64(b, 72, 131072);
    Put32(b, 80, 2048);
    Put32(b, 84, 128);
    Put32(b, 88, 4096);
    Put32(b, 92, 15872);
    Put32(b, 96, 5);
    Put16(b, 104, 0x0100);
    b[108] = nSectorShift;
    b[109] = 3;
    b[110] = 1;
    b[510] = 0x55;
    b[511] = 0xAA;
    return b;
}

// A File / Stream / Name set for name, sealed with its checksum.
std::vector<uint8_t> Set(const std::u16string& name, uint32_t nFirst, uint64_t nSize, bool bInUse = true) {
    size_t nNames = (name.size() + 14) / 15;
    std::vector<uint8_t> e(32 * (2 + nNames), 0);
    e[0] = 0x85;
    e[1] = uint8_t(1 + nNames);
    Put16(e, 4, 0x20);
    e[32] = 0xC0;
    e[33] = 0x03;
    e[35] = uint8_t(name.size());
    Put64(e, 40, nSize);
    Put32(e, 52, nFirst);
    Put64(e, 56, nSize);
    for (size_t i = 0; i < nNames; ++i) {
        e[64 + 32 * i] = 0xC1;
        for (size_t k = 0; k < 15 && i * 15 + k < name.size(); ++k) Put16(e, 64 + 32 * i + 2 + 2 * k, name[i * 15 + k]);
    }
    Put16(e, 2, CKivExFatEntrySet::Checksum(e, e.size() / 32, false));
    if (!bInUse)
        for (size_t i = 0; i < e.size(); i += 32) e[i] &= 0x7F;
    return e;
}

}  // namespace

TEST(ExFatBootSector, GeometryInDeviceSectorsAndTheRulesOfTheFormat) {
    CKivExFatBootSector bs;
    std::vector<uint8_t> b = Boot();
    ASSERT_TRUE(bs.Parse(b, 512));
    KivExFatGeometry g;
    ASSERT_TRUE(bs.MakeGeometry(8192, 1u << 20, &g));
    EXPECT_EQ(g.nHeapStart, 8192u + 4096u);
    EXPECT_EQ(g.nSecPerClus, 8u);
    EXPECT_EQ(bs.RegionSectors(), 12u);
    // Cut by the device end: what is there stays, the heap must be.
    ASSERT_TRUE(bs.MakeGeometry(0, 60000, &g));
    EXPECT_EQ(g.nSectorCount, 60000u);
    EXPECT_FALSE(bs.MakeGeometry(0, 4000, &g));

    // Volume sectors of 4096 bytes on a device of 512: eight device sectors each.
    std::vector<uint8_t> big = Boot(12);
    Put64(big, 72, 16384);
    Put32(big, 80, 256);
    Put32(big, 84, 16);
    Put32(big, 88, 512);
    big[109] = 0;
    ASSERT_TRUE(bs.Parse(big, 512));
    EXPECT_EQ(bs.Scale(), 8u);
    ASSERT_TRUE(bs.MakeGeometry(0, 1u << 20, &g));
    EXPECT_EQ(g.nSecPerClus, 8u);
    EXPECT_EQ(g.nHeapStart, 4096u);
    EXPECT_TRUE(bs.Parse(big, 4096));
    EXPECT_FALSE(bs.Parse(b, 4096)) << "512-byte volume sectors cannot be addressed on a 4096-byte device";

    auto refused = [](std::vector<uint8_t> x) {
        CKivExFatBootSector t;
        return !t.Parse(x, 512);
    };
    std::vector<uint8_t> x = b;
    x[20] = 1;  // the old parameter block must stay zero
    EXPECT_TRUE(refused(x));
    x = b;
    Put32(x, 80, 23);  // FAT inside the boot regions
    EXPECT_TRUE(refused(x));
    x = b;
    Put32(x, 84, 100);  // a FAT too small for its clusters
    EXPECT_TRUE(refused(x));
    x = b;
    Put32(x, 92, 20000);  // clusters beyond the volume
    EXPECT_TRUE(refused(x));
    x = b;
    Put32(x, 96, 15874);  // root cluster outside the heap
    EXPECT_TRUE(refused(x));
    x = b;
    x[109] = 17;  // 64 MiB clusters
    EXPECT_TRUE(refused(x));
}

TEST(ExFatBootSector, ChecksumLeavesOutFlagsAndPercentInUse) {
    std::vector<uint8_t> a(512 * 11, 0), c;
    for (size_t i = 0; i < a.size(); ++i) a[i] = uint8_t(i * 7);
    c = a;
    c[106] ^= 0xFF;
    c[107] ^= 0x01;
    c[112] = 77;
    uint32_t s1 = CKivExFatBootSector::AddToChecksum(0, a, 0);
    EXPECT_EQ(s1, CKivExFatBootSector::AddToChecksum(0, c, 0));
    // Summed in pieces as sectors go by, the same.
    uint32_t s2 = 0;
    for (size_t off = 0; off < a.size(); off += 512)
        s2 = CKivExFatBootSector::AddToChecksum(s2, std::span<const uint8_t>(a.data() + off, 512), off);
    EXPECT_EQ(s1, s2);
    c = a;
    c[300] ^= 1;
    EXPECT_NE(s1, CKivExFatBootSector::AddToChecksum(0, c, 0));
}

TEST(ExFatEntrySet, LiveAndDeletedSetsAndWhatBreaksThem) {
    std::u16string name = u"Ünïcödé name longer than fifteen.jpg";
    std::vector<uint8_t> e = Set(name, 7, 12345);
    CKivExFatEntrySet s;
    ASSERT_EQ(s.Parse(e, 0), CKivExFatEntrySet::kValid);
    EXPECT_EQ(s.m_name, name);
    EXPECT_TRUE(s.m_bInUse);
    EXPECT_TRUE(s.NoFatChain());
    EXPECT_EQ(s.m_nFirstCluster, 7u);
    EXPECT_EQ(s.EntryCount(), 5u);

    // Deleting clears the in-use bits and leaves the checksum as it was.
    std::vector<uint8_t> d = Set(name, 7, 12345, false);
    ASSERT_EQ(s.Parse(d, 0), CKivExFatEntrySet::kValid);
    EXPECT_FALSE(s.m_bInUse);

    std::vector<uint8_t> x = e;
    x[64 + 5] ^= 1;  // a name byte changed
    EXPECT_EQ(s.Parse(x, 0), CKivExFatEntrySet::kBroken);
    x = d;
    x[32] |= 0x80;  // a stream in use in a deleted set
    EXPECT_EQ(s.Parse(x, 0), CKivExFatEntrySet::kBroken);
    x = e;
    x[35] = 200;  // more name than its entries hold
    Put16(x, 2, CKivExFatEntrySet::Checksum(x, x.size() / 32, false));
    EXPECT_EQ(s.Parse(x, 0), CKivExFatEntrySet::kBroken);
    x = e;
    x[1] = 1;  // a File entry needs a stream and a name
    EXPECT_EQ(s.Parse(x, 0), CKivExFatEntrySet::kBroken);
    EXPECT_EQ(s.EntryCount(), 1u) << "a broken count is never trusted to skip entries";
    x = e;
    x[1] = 18;  // the set would run past the bytes there are
    EXPECT_EQ(s.Parse(x, 0), CKivExFatEntrySet::kCut);
    EXPECT_EQ(s.Parse(e, 32), CKivExFatEntrySet::kNotFile);

    // 255 characters in 17 name entries, the most a set holds.
    std::u16string longest(255, u'x');
    std::vector<uint8_t> l = Set(longest, 9, 1);
    ASSERT_EQ(s.Parse(l, 0), CKivExFatEntrySet::kValid);
    EXPECT_EQ(s.m_name.size(), 255u);
}

TEST(ExFatEntrySet, TimesCarryTheir10msStepsAndUtcOffsets) {
    // 2024-03-05 14:27:41.37 local time, two hours ahead of UTC.
    uint32_t ts = (2024u - 1980) << 25 | 3u << 21 | 5u << 16 | 14u << 11 | 27u << 5 | 20u;
    uint64_t ft = KivExFat::TimeToFileTime(ts, 137, 0x80 | 8);
    int64_t sec;
    uint32_t ns;
    KivFileTimeToUnix(ft, &sec, &ns);
    EXPECT_EQ(sec, 1709648861 - 2 * 3600);  // 2024-03-05 14:27:41 UTC, less the offset
    EXPECT_EQ(ns, 370000000u);
    // Five hours behind UTC: the offset is a negative seven-bit count.
    KivFileTimeToUnix(KivExFat::TimeToFileTime(ts, 0, 0x80 | (uint8_t(-20) & 0x7F)), &sec, &ns);
    EXPECT_EQ(sec, 1709648860 + 5 * 3600);
    EXPECT_EQ(KivExFat::TimeToFileTime(ts & ~(0xFu << 21), 0, 0x80), 0u) << "month 0 is no date";
    EXPECT_EQ(KivExFat::TimeToFileTime(ts, 200, 0x80), 0u) << "the increment stops at 1.99 s";
}

TEST(ExFatUpcase, PlainAndCompressedTablesAndTheirStart) {
    std::vector<uint8_t> plain;
    for (uint32_t c = 0; c < 0x200; ++c) {
        uint32_t u = (c >= 'a' && c <= 'z') ? c - 32 : (c == 0xE9 ? 0xC9 : c);
        plain.push_back(uint8_t(u));
        plain.push_back(uint8_t(u >> 8));
    }
    // Compressed: the first 'a' characters as one run, the letters, then the rest as another run
    // up to 0xE9.
    std::vector<uint8_t> packed = {0xFF, 0xFF, 0x61, 0x00};
    for (uint32_t c = 'A'; c <= 'Z'; ++c) packed.insert(packed.end(), {uint8_t(c), 0});
    packed.insert(packed.end(), {0xFF, 0xFF, uint8_t(0xE9 - 0x7B), 0x00, 0xC9, 0x00});
    for (auto* t : {&plain, &packed}) {
        CKivExFatUpcase up;
        ASSERT_TRUE(up.Load(*t));
        EXPECT_EQ(up.Up(u'q'), u'Q');
        EXPECT_EQ(up.Up(u'Q'), u'Q');
        EXPECT_EQ(up.Up(0xE9), 0xC9);
        EXPECT_EQ(up.Up(0x4E00), 0x4E00);
        EXPECT_EQ(up.NameHash(u"Café"), up.NameHash(u"CAFÉ"));
    }
    EXPECT_TRUE(CKivExFatUpcase::LooksLikeTableStart(plain));
    std::vector<uint8_t> packedSector = packed;
    packedSector.resize(512, 0);
    EXPECT_TRUE(CKivExFatUpcase::LooksLikeTableStart(packedSector));
    std::vector<uint8_t> junk(512, 0x41);
    EXPECT_FALSE(CKivExFatUpcase::LooksLikeTableStart(junk));
    CKivExFatUpcase bad;
    EXPECT_FALSE(bad.Load(std::vector<uint8_t>(10, 0)));
    EXPECT_EQ(bad.Up(u'a'), u'A') << "ASCII letters still fold without a table";
}

TEST(ExFatBitmap, FreeClustersAcrossFullWordsAndAllocatedStretches) {
    std::vector<uint8_t> bytes(1024, 0xFF);  // 8192 clusters allocated
    bytes[900] = 0xEF;                       // cluster 2 + 7204 free
    CKivExFatBitmap bm;
    bm.Load(bytes, 8192 + 100);  // the bitmap is short of the heap: the rest is free
    EXPECT_TRUE(bm.IsAllocated(2));
    EXPECT_EQ(bm.NextFree(2), 2u + 900 * 8 + 4);
    EXPECT_EQ(bm.NextFree(2 + 900 * 8 + 5), 2u + 8192);
    EXPECT_FALSE(bm.IsAllocated(2 + 8192 + 50));
    EXPECT_EQ(bm.NextFree(2 + 8192 + 100), 0u) << "past the heap";
    std::vector<std::pair<uint64_t, uint64_t>> runs;
    bm.ForEachAllocated([&](uint64_t c, uint64_t n) { runs.emplace_back(c, n); });
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], std::make_pair(uint64_t(2), uint64_t(7204)));
    EXPECT_EQ(runs[1], std::make_pair(uint64_t(2 + 7205), uint64_t(8192 - 7205)));
}

TEST(ExFatRuns, DeletedEntriesSkipWhatIsAllocatedAndReportReuse) {
    // 100 clusters of 4096 bytes; cluster 51 belongs to a live file.
    std::vector<uint8_t> bits(13, 0);
    bits[(51 - 2) / 8] |= 1 << ((51 - 2) % 8);
    CKivExFatBitmap bm;
    bm.Load(bits, 100);
    CKivExFatTable fat;  // no table: chains are unknown
    CKivExFatRunBuilder rb(&fat, &bm, 100, 4096);
    using A = CKivFileAttrExFAT;

    // A freed chain from 50: the free clusters after it, 51 skipped.
    auto r = rb.Deleted(50, 10000, false);
    ASSERT_EQ(r.runs.size(), 2u);
    EXPECT_EQ(r.runs[0].nStart, 48u);
    EXPECT_EQ(r.runs[0].nLength, 1u);
    EXPECT_EQ(r.runs[1].nStart, 50u);
    EXPECT_EQ(r.runs[1].nLength, 2u);
    EXPECT_EQ(r.damage, A::kGuessed);
    // Known contiguous: the clusters are what they are, and one of them is someone else's now.
    r = rb.Deleted(50, 10000, true);
    ASSERT_EQ(r.runs.size(), 1u);
    EXPECT_EQ(r.runs[0].nLength, 3u);
    EXPECT_EQ(r.damage, A::kReused);
    // Its start was written over: whatever follows cannot be trusted.
    EXPECT_EQ(rb.Deleted(51, 4096, false).damage, A::kReused);
    // Running into the end of the volume.
    EXPECT_EQ(rb.Deleted(100, 3 * 4096, false).damage, A::kPastEnd);
    EXPECT_EQ(rb.Live(100, 3 * 4096, true).damage, A::kPastEnd);
    EXPECT_EQ(rb.Live(99, 3 * 4096, true).damage, A::kIntact) << "clusters 99 to 101 are the last three";
    EXPECT_EQ(rb.Live(0xFFFFFFF0u, 10, true).damage, A::kPastEnd);
    EXPECT_TRUE(rb.Live(0xFFFFFFF0u, 10, true).runs.empty());
    EXPECT_TRUE(rb.Live(5, 0, false).runs.empty()) << "an empty file has no clusters";
}

TEST(ExFatDirSector, RootEntriesSetsAndWhatNoDirectoryHolds) {
    std::vector<uint8_t> sec(1024, 0);
    sec[0] = 0x83;  // label
    sec[1] = 4;
    sec[32] = 0x81;  // bitmap at cluster 2, 1940 bytes
    Put32(sec, 32 + 20, 2);
    Put64(sec, 32 + 24, 1940);
    sec[64] = 0x82;  // up-case table at cluster 3
    Put32(sec, 64 + 20, 3);
    Put64(sec, 64 + 24, 5836);
    std::vector<uint8_t> dir = Set(u"DCIM", 6, 4096);
    dir[4] = 0x10;
    Put16(dir, 2, CKivExFatEntrySet::Checksum(dir, dir.size() / 32, false));
    for (size_t off = 96; off < 480; off += 32) sec[off] = 0x41;  // unused entries between
    std::copy(dir.begin(), dir.end(), sec.begin() + 480);        // crosses into the next sector
    CKivExFatDirSector ds;
    ASSERT_TRUE(ds.Test(sec, 512));
    EXPECT_TRUE(ds.m_bRoot);
    EXPECT_EQ(ds.m_nSets, 1u);
    EXPECT_FALSE(ds.m_bSetAtStart);
    ASSERT_EQ(ds.m_folders.size(), 1u);
    EXPECT_EQ(ds.m_folders[0].nCluster, 6u);
    EXPECT_EQ(ds.m_nUpcaseCluster, 3u);
    // Only the sector itself: the set that crosses its end cannot be checked and is not counted.
    ASSERT_TRUE(ds.Test(std::span<const uint8_t>(sec.data(), 512), 512));
    EXPECT_EQ(ds.m_nSets, 0u);
    sec[96] = 0x99;  // an entry type no directory holds
    EXPECT_FALSE(ds.Test(sec, 512));
    std::vector<uint8_t> plain(512, 0);
    std::vector<uint8_t> one = Set(u"a.txt", 9, 10);
    std::copy(one.begin(), one.end(), plain.begin());
    ASSERT_TRUE(ds.Test(plain, 512));
    EXPECT_TRUE(ds.m_bSetAtStart);
    EXPECT_FALSE(ds.m_bRoot);
}
