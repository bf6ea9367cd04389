// The parsing pieces on crafted bytes: boot sectors, tables, entries, long names, runs, the
// scan's evidence and its saved state.
#include <cstring>
#include <map>

#include "Fat/CKivDoubleFatTable.h"
#include "Fat/CKivFat12Table.h"
#include "Fat/CKivFat16Table.h"
#include "Fat/CKivFatBootSector.h"
#include "Fat/CKivFatDirSector.h"
#include "Fat/CKivFatLongName.h"
#include "Fat/CKivFatRunBuilder.h"
#include "Model/KivPartName.h"
#include "FatTestSupport.h"
#include "Model/CKivMemStream.h"

using namespace kivfat_test;

namespace {

void Put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void Put32(uint8_t* p, uint32_t v) { Put16(p, uint16_t(v)), Put16(p + 2, uint16_t(v >> 16)); }

// A FAT16 boot sector of 64 MiB (131072 sectors), 4 sectors per cluster, 512 root entries.
std::vector<uint8_t> Fat16Boot(uint16_t nBytesPerSector = 512) {
    std::vector<uint8_t> s(512, 0);
    s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90;
    Put16(&s[11], nBytesPerSector);
    s[13] = 4;
    Put16(&s[14], 4);
    s[16] = 2;
    Put16(&s[17], 512);
    Put32(&s[32], 131072);
    Put16(&s[22], 128);
    std::memcpy(&s[54], "FAT16   ", 8);
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

// A 32-byte short entry.
std::vector<uint8_t> Entry(const char* name11, uint8_t attr, uint32_t cluster, uint32_t size) {
    std::vector<uint8_t> e(32, 0);
    std::memcpy(e.data(), name11, 11);
    e[11] = attr;
    Put16(&e[20], uint16_t(cluster >> 16));
    Put16(&e[26], uint16_t(cluster));
    Put32(&e[28], size);
    Put16(&e[24], (44 << 9) | (5 << 5) | 17);  // 2024-05-17
    return e;
}

// A long-name entry holding 13 characters of name from position (ord - 1) * 13.
std::vector<uint8_t> LfnEntry(const std::u16string& name, uint8_t ord, bool bLast, uint8_t sum) {
    std::vector<uint8_t> e(32, 0xFF);
    e[0] = uint8_t(ord | (bLast ? 0x40 : 0));
    e[11] = 0x0F, e[12] = 0, e[13] = sum;
    Put16(&e[26], 0);
    size_t i = (ord - 1) * 13u;
    size_t k = 0;
    for (size_t off : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}) {
        size_t pos = i + k++;
        if (pos < name.size()) Put16(&e[off], name[pos]);
        else if (pos == name.size()) Put16(&e[off], 0);
    }
    return e;
}

// An allocation table held in a map (unset clusters are free).
struct MapTable : IKivFATTable {
    std::map<uint32_t, uint32_t> m;
    uint32_t GetEntry(uint32_t c) override { return m.count(c) ? m[c] : KIV_FAT_FREE; }
};

}  // namespace

TEST(FatBootSector, KindsGeometryAndRejections) {
    CKivFatBootSector bs;
    auto s = Fat16Boot();
    ASSERT_TRUE(bs.Parse(s, 512));
    EXPECT_EQ(bs.m_nType, KIV_FS_FAT16);
    KivFatGeometry g;
    ASSERT_TRUE(bs.MakeGeometry(100, 1u << 20, &g));
    EXPECT_EQ(g.nDataStart, 100u + 4 + 2 * 128 + 32);
    EXPECT_EQ(g.nSectorCount, 131072u);
    EXPECT_EQ(g.nClusterCount, (131072u - 292) / 4);
    // Cut by the end of the device: still the FAT16 volume it was, only shorter.
    ASSERT_TRUE(bs.MakeGeometry(100, 100 + 4000, &g));
    EXPECT_EQ(g.nType, KIV_FS_FAT16);
    EXPECT_EQ(g.nSectorCount, 4000u);
    EXPECT_EQ(g.nClusterCount, (131072u - 292) / 4);
    // ... but not when nothing of its data area is left.
    EXPECT_FALSE(bs.MakeGeometry(100, 100 + 292, &g));
    // Sectors smaller than the device's cannot be read; larger ones are counted in device sectors.
    CKivFatBootSector small;
    EXPECT_FALSE(small.Parse(s, 4096));
    EXPECT_EQ(small.ForeignSectorSize(), 512u);
    CKivFatBootSector big;
    ASSERT_TRUE(big.Parse(Fat16Boot(4096), 512));
    ASSERT_TRUE(big.MakeGeometry(0, 1u << 23, &g));
    EXPECT_EQ(g.nSecPerClus, 32u);
    EXPECT_EQ(g.nReserved, 32u);
    EXPECT_EQ(g.nSectorsPerFat, 1024u);
    EXPECT_EQ(g.nDataStart, 8u * (4 + 2 * 128 + 4));
    EXPECT_EQ(g.nSectorCount, 8u * 131072);
    // Clusters that would not fit the partition's 8-bit sectors per cluster once counted in
    // device sectors: the sector size to scan with is told instead.
    auto huge = Fat16Boot(4096);
    huge[13] = 64;
    EXPECT_FALSE(big.Parse(huge, 512));
    EXPECT_EQ(big.ForeignSectorSize(), 4096u);
    // One table copy is as valid as two; the data area then starts one table earlier.
    auto one = s;
    one[16] = 1;
    ASSERT_TRUE(bs.Parse(one, 512));
    ASSERT_TRUE(bs.MakeGeometry(0, 1u << 20, &g));
    EXPECT_EQ(g.nFats, 1u);
    EXPECT_EQ(g.nDataStart, 4u + 128 + 32);
    // Root entries below 224, three FATs, a missing signature, an odd cluster size.
    auto bad = s;
    Put16(&bad[17], 100);
    EXPECT_FALSE(CKivFatBootSector().Parse(bad, 512));
    bad = s, bad[16] = 3;
    EXPECT_FALSE(CKivFatBootSector().Parse(bad, 512));
    bad = s, bad[511] = 0;
    EXPECT_FALSE(CKivFatBootSector().Parse(bad, 512));
    bad = s, bad[13] = 3;
    EXPECT_FALSE(CKivFatBootSector().Parse(bad, 512));
    // Absurd geometry: a FAT too small for the clusters, a volume that ends before its data.
    bad = s;
    Put16(&bad[22], 8);
    ASSERT_TRUE(bs.Parse(bad, 512));
    EXPECT_FALSE(bs.MakeGeometry(0, 1u << 20, &g));
    bad = s;
    Put16(&bad[14], 0xFFFF);
    Put32(&bad[32], 1000);
    ASSERT_TRUE(bs.Parse(bad, 512));
    EXPECT_FALSE(bs.MakeGeometry(0, 1u << 20, &g));
    // The type text is compared ignoring case.
    auto lower = s;
    std::memcpy(&lower[54], "fat16   ", 8);
    EXPECT_TRUE(CKivFatBootSector().Parse(lower, 512));
}

TEST(FatTables, Fat12EntriesAndMarks) {
    std::vector<uint8_t> fat(512, 0);
    // Entries 0..5: F0 FF FF | 0x003, 0xFF7 | 0xFF8, 0xFFF
    const uint8_t bytes[] = {0xF0, 0xFF, 0xFF, 0x03, 0x70, 0xFF, 0xF8, 0xFF, 0xFF};
    std::memcpy(fat.data(), bytes, sizeof bytes);
    KivMemDevStor stor(fat);
    CKivFat12Table t;
    ASSERT_TRUE(t.Load(&stor, 0, 1));
    EXPECT_TRUE(t.IsValid());
    EXPECT_EQ(t.GetEntry(2), 3u);
    EXPECT_EQ(t.GetEntry(3), KIV_FAT_BAD);
    EXPECT_EQ(t.GetEntry(4), KIV_FAT_EOC);
    EXPECT_EQ(t.GetEntry(5), KIV_FAT_EOC);
    EXPECT_EQ(t.GetEntry(100000), KIV_FAT_FREE);
    // Outside the FAT12 size limits the table is not loaded.
    KivMemDevStor big(std::vector<uint8_t>(512 * 13, 0));
    EXPECT_FALSE(CKivFat12Table().Load(&big, 0, 13));
}

TEST(FatTables, Fat16StructureCheck) {
    // 12 sectors: the smallest FAT16 table.
    auto make = [](std::initializer_list<std::pair<uint32_t, uint16_t>> entries) {
        std::vector<uint8_t> fat(512 * 12, 0);
        Put32(fat.data(), 0xFFFFFFF8u);
        for (auto [c, v] : entries) Put16(&fat[c * 2], v);
        return fat;
    };
    auto valid = [](std::vector<uint8_t> bytes) {
        KivMemDevStor stor(std::move(bytes));
        CKivFat16Table t;
        return t.Load(&stor, 0, 12) && t.IsValid();
    };
    EXPECT_TRUE(valid(make({{2, 3}, {3, 0xFFFF}, {4, 0xFFF7}, {5, 0xFFF8}})));
    EXPECT_FALSE(valid(make({{2, 3}, {3, 4}, {4, 2}})));          // a closed loop
    EXPECT_FALSE(valid(make({{2, 4}, {3, 4}, {4, 0xFFFF}})));     // two chains join
    EXPECT_FALSE(valid(make({{2, 2}})));                          // points at itself
    EXPECT_FALSE(valid(make({{2, 1}})));
    EXPECT_FALSE(valid(make({{2, 0x9000}})));                     // beyond the table
    // A volume pulled out while mounted has the clean-shutdown bit of entry 1 cleared.
    auto dirty = make({{2, 0xFFFF}});
    dirty[3] = 0x7F;
    EXPECT_TRUE(valid(dirty));
    auto noMedia = make({});
    noMedia[0] = 0xF0;
    EXPECT_FALSE(valid(noMedia));
}

TEST(FatTables, DoubleTableFallsBackToSecondCopy) {
    std::vector<uint8_t> disk(512 * 24, 0);
    Put32(&disk[512 * 12], 0xFFFFFFF8u);  // only the second copy is a FAT
    Put16(&disk[512 * 12 + 4], 0xFFFF);
    KivMemDevStor stor(disk);
    CKivDoubleFatTable t;
    t.Load(&stor, KIV_FS_FAT16, 0, 12, true, true);
    EXPECT_TRUE(t.HasTable());
    EXPECT_FALSE(t.HasFirst());
    EXPECT_EQ(t.GetEntry(2), KIV_FAT_EOC);
    t.Load(&stor, KIV_FS_FAT16, 0, 12, true, false);
    EXPECT_FALSE(t.HasTable());
}

TEST(FatTables, SectorsOfOneCopyMendTheOther) {
    // Two FAT16 copies of 12 sectors with a chain 800 -> 801 -> ... -> 1100 (sectors 3 and 4).
    std::vector<uint8_t> disk(512 * 24, 0);
    for (int copy = 0; copy < 2; ++copy) {
        uint8_t* fat = &disk[512 * 12 * copy];
        Put32(fat, 0xFFFFFFF8u);
        for (uint32_t c = 800; c < 1100; ++c) Put16(fat + 2 * c, uint16_t(c + 1));
        Put16(fat + 2 * 1100, 0xFFFF);
    }
    auto chainWhole = [](CKivDoubleFatTable& t) {
        for (uint32_t c = 800; c < 1100; ++c)
            if (t.GetEntry(c) != c + 1) return false;
        return t.GetEntry(1100) == KIV_FAT_EOC;
    };
    {
        // The first copy's sector 3 cannot be read, its sector 4 points an entry at itself: both
        // come from the second copy.
        KivMemDevStor stor(disk);
        stor.AddBad(3, 4);
        Put16(&stor.m_data[2 * 1050], 1050);
        CKivDoubleFatTable t;
        t.Load(&stor, KIV_FS_FAT16, 0, 12, true, true);
        ASSERT_TRUE(t.HasFirst());
        EXPECT_TRUE(chainWhole(t));
        EXPECT_EQ(t.TakenFromOther(), 2u);
        EXPECT_EQ(t.LostSectors(), 0u);
        // Without leave to use the second copy the first is used as it reads: the loop makes
        // it fail its checks, so there is no table.
        t.Load(&stor, KIV_FS_FAT16, 0, 12, true, false);
        EXPECT_FALSE(t.HasTable());
    }
    {
        // The first copy's start is unreadable, so the scan found only the second; the second's
        // own unreadable sector comes from the first after all. A sector lost in both reads free.
        KivMemDevStor stor(disk);
        stor.AddBad(0, 1);
        stor.AddBad(12 + 3, 12 + 4);
        stor.AddBad(7, 8);
        stor.AddBad(12 + 7, 12 + 8);
        CKivDoubleFatTable t;
        t.Load(&stor, KIV_FS_FAT16, 0, 12, false, true);
        ASSERT_TRUE(t.HasTable());
        EXPECT_FALSE(t.HasFirst());
        EXPECT_TRUE(chainWhole(t));
        EXPECT_EQ(t.LostSectors(), 1u);
        EXPECT_EQ(t.GetEntry(7 * 256 + 10), KIV_FAT_FREE);
    }
}

TEST(FatRuns, DeletedSkipsBadAndAllocatedClusters) {
    MapTable t;
    t.m[51] = KIV_FAT_BAD;
    CKivFatRunBuilder rb(&t, 1000, 4096);
    auto runs = rb.DeletedRuns(50, 10000);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].nStart, 48u);
    EXPECT_EQ(runs[0].nLength, 1u);
    EXPECT_EQ(runs[1].nStart, 50u);
    EXPECT_EQ(runs[1].nLength, 2u);
    // A cluster that a live file holds now is no part of the deleted file either.
    t.m[52] = KIV_FAT_EOC;
    CKivFatRunBuilder rb2(&t, 1000, 4096);
    runs = rb2.DeletedRuns(50, 10000);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].nStart, 51u);
    EXPECT_EQ(runs[1].nLength, 2u);
    // At the end of the data area the search stops; no run for an empty file or cluster 0.
    runs = rb2.DeletedRuns(1000, 1 << 20);
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].nStart + runs[0].nLength, 1000u);
    EXPECT_TRUE(rb2.DeletedRuns(50, 0).empty());
    EXPECT_TRUE(rb2.DeletedRuns(0, 100).empty());
    // A far free cluster behind a long allocated stretch is found through the summary level.
    MapTable full;
    for (uint32_t c = 2; c < 9000; ++c) full.m[c] = KIV_FAT_EOC;
    CKivFatRunBuilder rb3(&full, 10000, 512);
    runs = rb3.DeletedRuns(2, 512);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].nStart, 9000u - 2);
}

TEST(FatRuns, HugeClaimsOverAFragmentedTableSpendOneBudget) {
    // Every other cluster is held by a live file: a deleted claim is one run per free cluster.
    MapTable t;
    for (uint32_t c = 3; c < 1002; c += 2) t.m[c] = KIV_FAT_EOC;
    CKivFatRunBuilder rb(&t, 1000, 512, 600);
    auto runs = rb.DeletedRuns(2, 0xFFFFFFFFu);  // far more than the volume holds
    EXPECT_EQ(runs.size(), 500u);
    for (size_t i = 0; i < runs.size(); ++i) ASSERT_EQ(runs[i].nStart, 2 * i) << i;
    EXPECT_EQ(rb.RunBudgetLeft(), 101u);
    // The next claim gets what is left of the budget, the one after keeps only its first run.
    EXPECT_EQ(rb.DeletedRuns(2, 0xFFFFFFFFu).size(), 102u);
    EXPECT_EQ(rb.DeletedRuns(2, 0xFFFFFFFFu).size(), 1u);
    // A live chain out of budget ends at its jump, short of its size, with nothing assumed.
    t.m[40] = 60;
    t.m[60] = KIV_FAT_EOC;
    auto chain = rb.ChainRuns(40, 5 * 512);
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(chain[0].nLength, 1u);
    // Contiguous free clusters form one run, and a claim is cut to the data area.
    MapTable empty;
    CKivFatRunBuilder whole(&empty, 1000, 512);
    runs = whole.DeletedRuns(10, 0xFFFFFFFFu);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].nStart, 8u);
    EXPECT_EQ(runs[0].nLength, 992u);
}

TEST(FatRuns, ChainFragmentsContiguousRestAndLoops) {
    MapTable t;
    t.m = {{10, 11}, {11, 20}, {20, KIV_FAT_EOC}};
    CKivFatRunBuilder rb(&t, 100, 512);
    auto runs = rb.ChainRuns(10, 1500);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].nStart, 8u);
    EXPECT_EQ(runs[0].nLength, 2u);
    EXPECT_EQ(runs[1].nStart, 18u);
    // The chain ends after one cluster but the size needs three: two assumed after it.
    t.m = {{10, KIV_FAT_EOC}};
    runs = CKivFatRunBuilder(&t, 100, 512).ChainRuns(10, 1500);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].nLength, 3u);
    // Without a table everything is assumed contiguous, as long as it stays in the data area.
    runs = CKivFatRunBuilder(nullptr, 100, 512).ChainRuns(10, 1500);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].nLength, 3u);
    EXPECT_EQ(CKivFatRunBuilder(nullptr, 100, 512).ChainRuns(100, 1500).size(), 1u);
    EXPECT_TRUE(CKivFatRunBuilder(nullptr, 100, 512).ChainRuns(102, 1500).empty());
    // A loop ends within the data area's length.
    t.m = {{10, 11}, {11, 10}};
    runs = CKivFatRunBuilder(&t, 100, 512).ChainRuns(10, 1u << 30);
    uint64_t n = 0;
    for (auto& r : runs) n += r.nLength;
    EXPECT_LE(n, 100u);
    // Directory chains visit each cluster once.
    auto dir = CKivFatRunBuilder(&t, 100, 512).DirClusters(10, 1000);
    EXPECT_EQ(dir, (std::vector<uint32_t>{10, 11}));
}

TEST(FatEntries, PlausibilityNamesAndTimes) {
    CKivFatDirEntry e;
    ASSERT_TRUE(e.Decode(Entry("README  TXT", 0x20, 5, 100)));
    EXPECT_TRUE(e.IsPlausible(true));
    EXPECT_EQ(e.ShortName(), "README.TXT");
    EXPECT_NE(e.ModificationTime(), 0u);
    // Strict form: a file with a cluster and no size, or a size and no cluster.
    e.Decode(Entry("README  TXT", 0x20, 5, 0));
    EXPECT_FALSE(e.IsPlausible(true));
    EXPECT_TRUE(e.IsPlausible(false));
    e.Decode(Entry("README  TXT", 0x20, 0, 10));
    EXPECT_FALSE(e.IsPlausible(true));
    // Forbidden bytes, a leading blank, attribute 0x40, a month of 13.
    for (const char* n : {"READ*E  TXT", " EADME  TXT", "READ\x01""E  TXT"}) {
        e.Decode(Entry(n, 0x20, 5, 100));
        EXPECT_FALSE(e.IsPlausible(false)) << n;
    }
    e.Decode(Entry("README  TXT", 0x60, 5, 100));
    EXPECT_FALSE(e.IsPlausible(false));
    auto badDate = Entry("README  TXT", 0x20, 5, 100);
    Put16(&badDate[24], (44 << 9) | (13 << 5) | 1);
    e.Decode(badDate);
    EXPECT_FALSE(e.IsPlausible(false));
    // A lead byte hides the byte after it; deleted names take the replacement; lower-case flags.
    e.Decode(Entry("\xE5*ADME  TXT", 0x20, 5, 100));
    EXPECT_TRUE(e.IsPlausible(false));
    auto lower = Entry("README  TXT", 0x20, 5, 100);
    lower[12] = 0x08;
    e.Decode(lower);
    EXPECT_EQ(e.ShortName(), "readme.TXT");
    e.Decode(Entry("\xE5""EADME     ", 0x20, 5, 100));
    EXPECT_EQ(e.ShortName('_'), "_EADME");
    e.Decode(Entry("DATA       ", 0x08, 0, 0));
    EXPECT_EQ(e.LabelText(), "DATA");
    e.Decode(Entry("MY DISK 01 ", 0x08, 0, 0));
    EXPECT_EQ(e.LabelText(), "MY DISK01");
    EXPECT_EQ(CKivFatDirEntry::DosToFileTime(0, 0), 0u);
}

TEST(FatEntries, LongNamesLiveAndDeleted) {
    CKivFatDirEntry s;
    s.Decode(Entry("LONGFI~1TXT", 0x20, 5, 100));
    uint8_t sum = s.Checksum(s.m_name[0]);
    std::u16string name = u"Long file name ü.txt";  // 20 characters: two entries
    CKivFatLongName lfn;
    lfn.Reset();
    lfn.Add(LfnEntry(name, 2, true, sum));
    lfn.Add(LfnEntry(name, 1, false, sum));
    uint8_t first = 0;
    EXPECT_EQ(lfn.Take(s, &first), "Long file name ü.txt");

    // A wrong checksum or a missing part leaves the short name.
    lfn.Add(LfnEntry(name, 2, true, uint8_t(sum + 1)));
    lfn.Add(LfnEntry(name, 1, false, uint8_t(sum + 1)));
    EXPECT_EQ(lfn.Take(s, &first), "");
    lfn.Add(LfnEntry(name, 2, true, sum));
    EXPECT_EQ(lfn.Take(s, &first), "");

    // Deleted: sequence numbers and the short name's first byte are gone; the checksum gives it back.
    auto a = LfnEntry(name, 2, true, sum), b = LfnEntry(name, 1, false, sum);
    a[0] = b[0] = 0xE5;
    CKivFatDirEntry d;
    d.Decode(Entry("\xE5ONGFI~1TXT", 0x20, 5, 100));
    lfn.Add(a);
    lfn.Add(b);
    EXPECT_EQ(lfn.Take(d, &first), "Long file name ü.txt");
    EXPECT_EQ(first, 'L');
}

TEST(FatDirSector, StartsPiecesAndRejections) {
    auto sector = [](std::vector<std::vector<uint8_t>> entries) {
        std::vector<uint8_t> s;
        for (auto& e : entries) s.insert(s.end(), e.begin(), e.end());
        s.resize(512, 0);
        return s;
    };
    CKivFatDirSector t;
    EXPECT_TRUE(t.Test(sector({Entry(".          ", 0x10, 77, 0), Entry("..         ", 0x10, 0, 0),
                               Entry("A       TXT", 0x20, 80, 10)})));
    EXPECT_TRUE(t.m_bStart);
    EXPECT_EQ(t.m_nOwnCluster, 77u);
    EXPECT_EQ(t.m_nCounted, 1u);
    EXPECT_TRUE(t.Test(sector({Entry("A       TXT", 0x20, 80, 10), Entry("B       TXT", 0x20, 81, 10)})));
    EXPECT_FALSE(t.m_bStart);
    // Two files in a row on one cluster, garbage after the entries, nothing at all.
    EXPECT_FALSE(t.Test(sector({Entry("A       TXT", 0x20, 80, 10), Entry("B       TXT", 0x20, 80, 10)})));
    auto garbage = sector({Entry("A       TXT", 0x20, 80, 10)});
    std::memset(&garbage[32], 0x7F, 32);
    EXPECT_FALSE(t.Test(garbage));
    EXPECT_FALSE(t.Test(sector({})));
    // The end of the entries must be an unused (all-zero) slot, not a 0 byte in front of junk.
    auto junkEnd = sector({Entry("A       TXT", 0x20, 80, 10)});
    std::memset(&junkEnd[33], 0x5A, 31);
    EXPECT_FALSE(t.Test(junkEnd));
}

// A directory's first sector: "." naming cluster c, then "..".
static std::vector<uint8_t> DotSector(uint32_t c) {
    std::vector<uint8_t> s(512, 0);
    auto a = Entry(".          ", 0x10, c, 0), b = Entry("..         ", 0x10, 0, 0);
    std::copy(a.begin(), a.end(), s.begin());
    std::copy(b.begin(), b.end(), s.begin() + 32);
    return s;
}

TEST(FatScanner, GeometryFromDotDirectories) {
    // "." at sector 10000 naming cluster 100 proposes data starts 10000 - 98 d for d = 1..64; a
    // second "." confirms one of them. A lone "." proposes nothing (evidence 0).
    KivMemDevStor stor(std::vector<uint8_t>(512 * 20000, 0));
    for (uint32_t d : {1, 2, 4, 8, 16, 32, 64, 128}) {
        CKivFATScanner sc;
        sc.SetStorage(&stor);
        uint64_t stats[16] = {};
        sc.AnalyzeSector(DotSector(100), 10000, stats);
        std::vector<CKivScanResPart*> parts;
        sc.EnumParts(&parts);
        EXPECT_TRUE(parts.empty());
        // Listing the partitions leaves the candidates in place: the pass goes on with them.
        sc.AnalyzeSector(DotSector(150), 10000 + 50 * d, stats);
        sc.EnumParts(&parts);
        if (d == 128) {
            EXPECT_TRUE(parts.empty());
            continue;
        }
        ASSERT_EQ(parts.size(), 1u) << d;
        auto* p = static_cast<CKivScanResPartFAT*>(parts[0]);
        EXPECT_EQ(p->m_nDataStart, 10000u - 98 * d);
        EXPECT_EQ(p->m_nSecPerClus, d);
        EXPECT_EQ(p->m_nEvidenceB, 1u);
        EXPECT_EQ(p->m_nEvidenceFlags, 0x10u);
        EXPECT_EQ(p->m_nEvidenceC, 20u);
        EXPECT_EQ(sc.GetDirSectors().size(), 2u);
        delete p;
    }
}

TEST(FatScanner, VolumeFromDirectoriesEndsAtTheNextBootSector) {
    KivMemDevStor stor(std::vector<uint8_t>(512 * 30000, 0));
    CKivFATScanner sc;
    sc.SetStorage(&stor);
    sc.AnalyzeSector(DotSector(100), 10000, nullptr);
    sc.AnalyzeSector(DotSector(150), 10050, nullptr);
    auto boot = Fat16Boot();
    Put32(&boot[32], 10000);
    Put16(&boot[22], 40);
    boot[13] = 1;
    sc.AnalyzeSector(boot, 15000, nullptr);
    std::vector<uint8_t> fat(512, 0);
    Put32(fat.data(), 0xFFFFFFF8u);
    sc.AnalyzeSector(fat, 15004, nullptr);
    sc.AnalyzeSector(fat, 15044, nullptr);
    std::vector<CKivScanResPart*> parts;
    sc.EnumParts(&parts);
    ASSERT_EQ(parts.size(), 2u);
    for (auto* p : parts) {
        if (p->m_nFirstSector == 15000) {
            EXPECT_EQ(p->m_nEvidenceC, 100u);
        } else {
            EXPECT_EQ(p->m_nDataStart, 9902u);
            EXPECT_EQ(p->m_nFirstSector + p->m_nSectorCount, 15000u);
        }
        delete p;
    }
}

TEST(FatScanner, StateRoundTripAndPartitionNames) {
    CKivFATScanner sc;
    KivMemDevStor stor(std::vector<uint8_t>(512 * 64, 0));
    sc.SetStorage(&stor);
    std::vector<uint8_t> s(512, 0);
    auto e = Entry("A       TXT", 0x20, 80, 10);
    std::copy(e.begin(), e.end(), s.begin());
    sc.AnalyzeSector(s, 7, nullptr);
    CKivMemStream ms;
    ASSERT_EQ(sc.SaveState(&ms), 0);
    CKivFATScanner sc2;
    ms.Rewind();
    ASSERT_EQ(sc2.LoadState(&ms), 0);
    ASSERT_EQ(sc2.GetDirSectors().size(), 1u);
    EXPECT_EQ(sc2.GetDirSectors()[0].nSector, 7u);
    EXPECT_EQ(sc2.GetDirSectors()[0].nCluster, -1);
    CKivMemStream truncated(std::span<const uint8_t>(ms.Data().data(), 10));
    EXPECT_NE(CKivFATScanner().LoadState(&truncated), 0);

    EXPECT_EQ(KivFormatPartName("FAT32", 1, 'E', "PHOTOS"), "E:(PHOTOS - FAT32 1)");
    EXPECT_EQ(KivFormatPartName("FAT16", 2, 'E', ""), "E:(FAT16 2)");
    EXPECT_EQ(KivFormatPartName("FAT12", 1, 0, "FLOPPY"), "FLOPPY(FAT12 1)");
    EXPECT_EQ(KivFormatPartName("UNKNOWN", 3, 0, nullptr), "UNKNOWN 3");
}
