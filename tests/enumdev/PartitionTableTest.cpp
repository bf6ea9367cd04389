// Partition analysis on disks made by the real tools (compared with The Sleuth Kit's mmls where it
// is installed) and on tables built by hand: loops, endless chains, sizes that disagree, entries
// past the disk's end.
#include <cstdio>
#include <set>
#include <sstream>

#include "EnumDevTestSupport.h"
#include "KivNeedTool.h"

using namespace kivdev_test;

namespace {

struct Expect {
    uint64_t nFirst;
    uint64_t nCount;
    int32_t nKind;
    const char* pszLabel;
    int32_t nSource;
};

void ExpectParts(const PartList& got, const std::vector<Expect>& want, IKivDevDisk* pDisk) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].pszLabel);
        KivPartExtent e = Extent0(got[i]);
        EXPECT_EQ(e.nFirstSector, want[i].nFirst);
        EXPECT_EQ(e.nSectorCount, want[i].nCount);
        EXPECT_EQ(e.pDisk, pDisk);
        EXPECT_EQ(got[i].nFsKind, want[i].nKind);
        EXPECT_STREQ(got[i].szLabel, want[i].pszLabel);
        EXPECT_EQ(got[i].nSource, want[i].nSource);
        EXPECT_EQ(got[i].nDynamic, 0);
        EXPECT_EQ(got[i].pDevice->GetSectorCount(), want[i].nCount);
    }
}

// The data partitions mmls lists: (start, length) of rows whose slot is "<table>:<entry>" or a GPT
// entry number; empty when mmls is not installed.
std::vector<std::pair<uint64_t, uint64_t>> Mmls(const std::string& path, uint32_t nSectorSize = 512) {
    std::vector<std::pair<uint64_t, uint64_t>> out;
    std::string cmd = "mmls -b " + std::to_string(nSectorSize) + " '" + path + "' 2>/dev/null";
    FILE* f = ::popen(cmd.c_str(), "r");
    if (!f) return out;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        std::istringstream in(line);
        std::string idx, slot, start, end, len;
        if (!(in >> idx >> slot >> start >> end >> len)) continue;
        if (slot == "Meta" || slot.find('-') != std::string::npos || idx.back() != ':') continue;
        std::string desc;
        std::getline(in, desc);
        if (desc.find("Extended") != std::string::npos) continue;
        out.emplace_back(std::stoull(start), std::stoull(len));
    }
    ::pclose(f);
    return out;
}

// Each of our records starts where one of mmls's does and covers it but for the backup boot
// sector an NTFS leaves out of its own size.
void CompareWithMmls(const PartList& got, const std::vector<std::pair<uint64_t, uint64_t>>& tsk) {
    if (tsk.empty()) KIV_SKIP_MISSING_TOOL("mmls not installed");
    EXPECT_GE(tsk.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i) {
        KivPartExtent e = Extent0(got[i]);
        auto it = std::find_if(tsk.begin(), tsk.end(), [&](auto& p) { return p.first == e.nFirstSector; });
        ASSERT_NE(it, tsk.end()) << e.nFirstSector;
        uint64_t nSlack = got[i].nFsKind == KIV_FSK_NTFS ? 1 : 0;
        EXPECT_EQ(e.nSectorCount + nSlack, it->second) << e.nFirstSector;
    }
}

}  // namespace

TEST(PartitionTables, RealToolDisks) {
    ASSERT_FALSE(DiskImageDir().empty());
    {
        ImageDisk d(DiskImageDir() + "/mbr.img");
        ASSERT_TRUE(d.bOpen);
        EXPECT_FALSE(d.p->IsDynamic());
        PartList parts;
        Analyse(d.p, &parts);
        ExpectParts(parts,
                    {{2048, 16384, KIV_FSK_FAT16, "PRIMFAT", KIV_PART_MBR},
                     {18432, 16383, KIV_FSK_NTFS, "PRIMNTFS", KIV_PART_MBR},
                     {36864, 69632, KIV_FSK_FAT32, "LOGIC1", KIV_PART_EBR},
                     {108544, 16384, KIV_FSK_FAT16, "LOGIC2", KIV_PART_EBR},
                     {126976, 16383, KIV_FSK_NTFS, "LOGIC3", KIV_PART_EBR}},
                    d.p);
        CompareWithMmls(parts, Mmls(d.p->GetPath()));
    }
    {
        // The partition of an unlisted type is not offered (mmls lists it).
        ImageDisk d(DiskImageDir() + "/gpt.img");
        PartList parts;
        Analyse(d.p, &parts);
        ExpectParts(parts,
                    {{2048, 69632, KIV_FSK_FAT32, "GPTFAT", KIV_PART_GPT},
                     {71680, 16383, KIV_FSK_NTFS, "GPTNTFS", KIV_PART_GPT}},
                    d.p);
        auto tsk = Mmls(d.p->GetPath());
        if (!tsk.empty()) {
            EXPECT_EQ(tsk.size(), 3u);
        }
        CompareWithMmls(parts, tsk);
    }
    {
        ImageDisk d(DiskImageDir() + "/stick.img");
        PartList parts;
        Analyse(d.p, &parts);
        ExpectParts(parts, {{0, 81920, KIV_FSK_FAT32, "STICK", KIV_PART_WHOLE}}, d.p);
        EXPECT_EQ(parts[0].nPartFlags & KIV_PARTF_FS_SIZED, KIV_PARTF_FS_SIZED);
    }
    {
        ImageDisk d(DiskImageDir() + "/disk4k.img", 4096);
        ASSERT_EQ(d.p->GetSectorSize(), 4096u);
        PartList parts;
        Analyse(d.p, &parts);
        ExpectParts(parts,
                    {{256, 4096, KIV_FSK_FAT16, "FAT4K", KIV_PART_MBR}, {4352, 4095, KIV_FSK_NTFS, "NTFS4K", KIV_PART_MBR}},
                    d.p);
        EXPECT_EQ(parts[0].pDevice->GetSectorSize(), 4096u);
        // Read with the wrong sector size the same disk shows no FAT (its boot sector says 4096).
        ImageDisk wrong(DiskImageDir() + "/disk4k.img", 512);
        PartList none;
        Analyse(wrong.p, &none);
        for (const PartInfo& r : none.v) EXPECT_NE(r.nFsKind, KIV_FSK_FAT16);
    }
}

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

TEST(PartitionTables, FileSystemSizeAgainstTableSize) {
    ASSERT_FALSE(DiskImageDir().empty());
    std::vector<uint8_t> vol = ReadFile(DiskImageDir() + "/ntfs.vol");
    ASSERT_EQ(vol.size(), 32768u * 512);
    const uint64_t nFs = 32767;  // mkntfs leaves the last sector (its backup boot sector) out
    // table count, records expected (counts in order)
    struct Case {
        uint32_t nTable;
        std::vector<uint64_t> counts;
    } cases[] = {
        {uint32_t(nFs - 32129), {nFs}},
        {uint32_t(nFs - 32130), {nFs - 32130, nFs}},
        {uint32_t(nFs + 32130), {nFs + 32130, nFs}},
        {uint32_t(nFs + 5), {nFs}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nTable);
        MemDisk disk(2048 + 80000);
        disk.Put(0, TableSector().Entry(0, 0x07, 2048, c.nTable).b);
        disk.Put(2048, vol);
        PartList parts;
        Analyse(&disk, &parts);
        ASSERT_EQ(parts.size(), c.counts.size());
        for (size_t i = 0; i < c.counts.size(); ++i) {
            EXPECT_EQ(Extent0(parts[i]).nFirstSector, 2048u);
            EXPECT_EQ(Extent0(parts[i]).nSectorCount, c.counts[i]);
            EXPECT_EQ(parts[i].nFsKind, KIV_FSK_NTFS);
            EXPECT_STREQ(parts[i].szLabel, "LOOSE");
        }
    }
}
