// Partition analysis on tables built by hand: loops, endless chains, sizes that disagree, entries
// past the disk's end.
#include <cstdio>
#include <set>
#include <sstream>

#include "EnumDevTestSupport.h"

using namespace kivdev_test;

TEST(PartitionTables, ExtendedChainsThatLoopOrNeverEnd) {
    {
        // An EBR whose link points back at itself: the logical partition once, then the walk stops.
        MemDisk disk(20000);
        disk.Put(0, TableSector().Entry(0, 0x05, 2048, 10000).b);
        disk.Put(2048, TableSector().Entry(0, 0x83, 2048, 1000).Entry(1, 0x05, 0, 10000).b);
        PartList parts;
        Analyse(&disk, &parts);
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_EQ(Extent0(parts[0]).nFirstSector, 4096u);
        EXPECT_EQ(Extent0(parts[0]).nSectorCount, 1000u);
        EXPECT_EQ(parts[0].nFsKind, KIV_FSK_UNKNOWN);
        EXPECT_LT(disk.m_nReads, 40u);
    }
    {
        // 10,000 boot records in a row, each linking to the next and none holding a partition.
        MemDisk disk(20000);
        disk.Put(0, TableSector().Entry(0, 0x0F, 100, 19000).b);
        for (uint32_t i = 0; i < 10000; ++i) disk.Put(100 + i, TableSector().Entry(0, 0x05, i + 1, 10).b);
        PartList parts;
        Analyse(&disk, &parts);
        EXPECT_EQ(parts.size(), 0u);
        EXPECT_LE(disk.m_nReads, uint64_t(CPartitionTableAnalyze::kMaxEbrTables) + 20);
    }
    {
        // Logicals count from their own record, links from the extended partition's start; a
        // record with a bad boot indicator ends the chain.
        MemDisk disk(20000);
        disk.Put(0, TableSector().Entry(0, 0x0C, 63, 100).Entry(1, 0x05, 1000, 10000).b);
        disk.Put(1000, TableSector().Entry(0, 0x07, 10, 50).Entry(1, 0x05, 500, 600).b);
        disk.Put(1500, TableSector().Entry(0, 0x06, 10, 60).Entry(1, 0x05, 900, 600).b);
        disk.Put(1900, TableSector().Entry(0, 0x06, 10, 70, 0x33).b);
        PartList parts;
        Analyse(&disk, &parts);
        ASSERT_EQ(parts.size(), 3u);
        EXPECT_EQ(Extent0(parts[0]).nFirstSector, 63u);
        EXPECT_EQ(Extent0(parts[1]).nFirstSector, 1010u);
        EXPECT_EQ(Extent0(parts[2]).nFirstSector, 1510u);
        EXPECT_EQ(Extent0(parts[2]).nSectorCount, 60u);
        EXPECT_STREQ(parts[0].szDesc, "Vend  Memory disk  Test Bus");
    }
}

TEST(PartitionTables, EntriesPastTheEndAndDynamicOrProtectiveTables) {
    {
        MemDisk disk(10000);
        disk.Put(0, TableSector().Entry(0, 0x83, 8000, 5000).Entry(1, 0x83, 12000, 100).Entry(2, 0x83, 100, 0).b);
        PartList parts;
        Analyse(&disk, &parts);
        ASSERT_EQ(parts.size(), 2u);
        EXPECT_EQ(Extent0(parts[0]).nSectorCount, 2000u);  // cut at the disk's end
        EXPECT_EQ(parts[0].nPartFlags & KIV_PARTF_CUT, KIV_PARTF_CUT);
        EXPECT_EQ(Extent0(parts[1]).nSectorCount, 9900u);  // a count of 0 takes the rest of the disk
        // A 100-sector window: a request for 95..104 reads 5 sectors and zeroes the other 5; one
        // longer than the window, or starting at its end, fails.
        MemDisk small(300);
        small.Put(0, TableSector().Entry(0, 0x83, 100, 100).b);
        small.Put(195, std::vector<uint8_t>(512 * 10, 0xAB));
        PartList one;
        Analyse(&small, &one);
        ASSERT_EQ(one.size(), 1u);
        std::vector<uint8_t> buf(512 * 101, 0xEE);
        EXPECT_EQ(one[0].pDevice->ReadSectors(buf.data(), 95, 10), 1);
        EXPECT_EQ(buf[0], 0xAB);
        EXPECT_EQ(buf[5 * 512 - 1], 0xAB);
        EXPECT_TRUE(std::all_of(buf.begin() + 5 * 512, buf.begin() + 10 * 512, [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(one[0].pDevice->ReadSectors(buf.data(), 0, 101), 0);
        EXPECT_EQ(one[0].pDevice->ReadSectors(buf.data(), 100, 1), 0);
    }
    {
        // A type 0x42 in any slot: a dynamic disk, no basic partitions at all.
        MemDisk disk(10000);
        disk.Put(0, TableSector().Entry(0, 0x07, 63, 1000).Entry(3, 0x42, 2000, 1000).b);
        PartList parts;
        Analyse(&disk, &parts);
        EXPECT_EQ(parts.size(), 0u);
    }
    {
        // Protective MBR: only listed types count; a zero GUID, the "MBR partition scheme" GUID and
        // an unknown one do not.
        MemDisk disk(10000);
        disk.Put(0, TableSector().Entry(0, 0xEE, 1, 9999).b);
        std::vector<uint8_t> arr(128 * 128, 0);
        auto put = [&](int i, const uint8_t (&guid)[16], uint64_t first, uint64_t last) {
            std::memcpy(arr.data() + i * 128, guid, 16);
            std::memcpy(arr.data() + i * 128 + 32, &first, 8);
            std::memcpy(arr.data() + i * 128 + 40, &last, 8);
        };
        const uint8_t kBasic[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                    0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
        const uint8_t kMbrScheme[16] = {0x41, 0xEE, 0x4D, 0x02, 0xE7, 0x33, 0xD3, 0x11,
                                        0x9D, 0x69, 0x00, 0x08, 0xC7, 0x81, 0xF3, 0x9F};
        const uint8_t kUnknown[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        put(0, kMbrScheme, 100, 199);
        put(1, kBasic, 2048, 4095);
        put(2, kUnknown, 5000, 5999);
        disk.Put(2, arr);
        PartList parts;
        Analyse(&disk, &parts);
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_EQ(Extent0(parts[0]).nFirstSector, 2048u);
        EXPECT_EQ(Extent0(parts[0]).nSectorCount, 2048u);
        EXPECT_EQ(parts[0].nSource, KIV_PART_GPT);
    }
}
