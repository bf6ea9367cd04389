// Partition analysis on disks made by the real tools, compared with The Sleuth Kit's mmls where it
// is installed.
#include <cstdio>
#include <sstream>

#include "EnumDevImages.h"
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

TEST(PartitionTablesLinux, RealToolDisks) {
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

TEST(PartitionTablesLinux, FileSystemSizeAgainstTableSize) {
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
