// Volume briefs on boot sectors built field by field and on volumes made by mkntfs.
#include "CKivVolBriefExt.h"
#include "CKivVolBriefFat.h"
#include "CKivVolBriefList.h"
#include "CKivVolBriefNtfs.h"
#include "Ntfs/CKivNtfsBootSector.h"
#include "EnumDevTestSupport.h"
#include "KivMemDevStor.h"
#include "KivNeedTool.h"
#include "KivPutLE.h"

using namespace kivdev_test;

namespace {

// The volume made at path (the file is removed) behind 2048 sectors of something else, as a
// partition.
std::vector<uint8_t> BehindAGap(const std::string& path) {
    std::vector<uint8_t> disk(2048 * 512, 0);
    {
        std::ifstream f(path, std::ios::binary);
        disk.insert(disk.end(), std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    std::remove(path.c_str());
    return disk;
}

// A FAT16 volume of 8192 sectors: 1 reserved sector, 2 FATs of 32 sectors, 512 root entries.
std::vector<uint8_t> Fat16Volume(uint16_t nRootEntries = 512) {
    std::vector<uint8_t> v(8192 * 512, 0);
    v[0] = 0xEB, v[1] = 0x3C, v[2] = 0x90;
    Put16(v, 11, 512);
    v[13] = 4;
    Put16(v, 14, 1);
    v[16] = 2;
    Put16(v, 17, nRootEntries);
    Put16(v, 19, 8192);
    v[21] = 0xF8;
    Put16(v, 22, 32);
    std::memcpy(&v[54], "FAT16   ", 8);
    v[510] = 0x55, v[511] = 0xAA;
    return v;
}
constexpr size_t kRoot16 = (1 + 2 * 32) * 512;

void PutEntry(std::vector<uint8_t>& v, size_t off, const char* name11, uint8_t attr) {
    std::memcpy(&v[off], name11, 11);
    v[off + 11] = attr;
}

std::string Label(IKivVolBrief& b) {
    char sz[100];
    b.GetLabel(sz, sizeof sz);
    return std::string(sz, strnlen(sz, sizeof sz));
}

}  // namespace

TEST(VolBriefs, FatBootSectorsAndLabels) {
    {
        // 512 root entries on 512-byte sectors: recognised; labels lose the blank between name
        // and extension, and skip deleted entries and those of other kinds.
        std::vector<uint8_t> v = Fat16Volume();
        PutEntry(v, kRoot16, "A       TXT", 0x20);
        PutEntry(v, kRoot16 + 32, "\xE5LD     LBL", 0x08);
        PutEntry(v, kRoot16 + 64, "MY DISK 01 ", 0x08);
        KivMemDevStor dev(v);
        CKivVolBriefFat b(&dev, 0);
        EXPECT_EQ(b.GetFsKind(), KIV_FSK_FAT16);
        EXPECT_EQ(b.GetTotalSectors(), 8192u);
        EXPECT_EQ(Label(b), "MY DISK01");
    }
    {
        std::vector<uint8_t> v = Fat16Volume();
        PutEntry(v, kRoot16, "DATA       ", 0x08);
        Put16(v, 19, 0);
        Put32(v, 32, 1000000);
        KivMemDevStor dev(v);
        CKivVolBriefFat b(&dev, 0);
        EXPECT_EQ(b.GetTotalSectors(), 1000000u);
        EXPECT_EQ(Label(b), "DATA");
    }
    {
        // The end of the folder before any label: none. An implausible entry ends the search too.
        std::vector<uint8_t> v = Fat16Volume();
        PutEntry(v, kRoot16 + 64, "LATE       ", 0x08);
        KivMemDevStor dev(v);
        EXPECT_EQ(Label(*std::make_unique<CKivVolBriefFat>(&dev, 0)), "");
        PutEntry(dev.m_data, kRoot16, "BAD*NAME   ", 0x20);
        EXPECT_EQ(Label(*std::make_unique<CKivVolBriefFat>(&dev, 0)), "");
    }
    {
        // 2 FATs but 100 root entries; a device whose sectors differ from the boot sector's.
        KivMemDevStor few(Fat16Volume(100));
        EXPECT_EQ(CKivVolBriefFat(&few, 0).GetFsKind(), KIV_FSK_UNKNOWN);
        std::vector<uint8_t> v = Fat16Volume();
        KivMemDevStor big(v, 4096);
        CKivVolBriefList list(&big, 0);
        EXPECT_EQ(list.Lookup()->GetFsKind(), KIV_FSK_UNKNOWN);
        EXPECT_EQ(list.Lookup()->GetTotalSectors(), 0u);
    }
    {
        // A FAT32 whose root chain loops back on itself without a label: the search ends.
        std::vector<uint8_t> v(140000 * 512, 0);
        v[0] = 0xEB;
        Put16(v, 11, 512);
        v[13] = 1;
        Put16(v, 14, 32);
        v[16] = 2;
        Put32(v, 32, 140000);
        Put32(v, 36, 1100);
        Put32(v, 44, 2);
        std::memcpy(&v[82], "FAT32   ", 8);
        v[510] = 0x55, v[511] = 0xAA;
        Put32(v, 32 * 512 + 2 * 4, 3);  // 2 -> 3 -> 2
        Put32(v, 32 * 512 + 3 * 4, 2);
        const size_t nData = (32 + 2 * 1100) * 512;
        // Both clusters full of file entries, so the search has to follow the chain.
        for (size_t off = 0; off < 1024; off += 32) PutEntry(v, nData + off, "FILE    BIN", 0x20);
        KivMemDevStor dev(v);
        CKivVolBriefFat b(&dev, 0);
        EXPECT_EQ(b.GetFsKind(), KIV_FSK_FAT32);
        EXPECT_EQ(Label(b), "");
        EXPECT_LE(dev.m_nReads, 2u * CKivVolBriefFat::kMaxRootClusters + 4);
        // The label in the chain's second cluster is found.
        PutEntry(dev.m_data, nData + 512 + 32, "SECOND     ", 0x08);
        EXPECT_EQ(Label(*std::make_unique<CKivVolBriefFat>(&dev, 0)), "SECOND");
    }
}

TEST(VolBriefs, NtfsBootSectorAndVolumeName) {
    ASSERT_FALSE(DiskImageDir().empty());
    std::vector<uint8_t> vol = ReadFile(DiskImageDir() + "/ntfs.vol");
    ASSERT_FALSE(vol.empty());
    {
        KivMemDevStor dev(vol);
        CKivVolBriefList list(&dev, 0);
        EXPECT_EQ(list.Lookup()->GetFsKind(), KIV_FSK_NTFS);
        EXPECT_EQ(list.Lookup()->GetTotalSectors(), 32767u);
        EXPECT_EQ(Label(*list.Lookup()), "LOOSE");
    }
    {
        // The OEM text in lower case is still NTFS.
        std::vector<uint8_t> v = vol;
        std::memcpy(&v[3], "ntfs    ", 8);
        KivMemDevStor dev(v);
        EXPECT_EQ(CKivVolBriefNtfs(&dev, 0).GetFsKind(), KIV_FSK_NTFS);
    }
    {
        // A $Volume record whose fix-up does not match: kind and size stay, the label is lost.
        std::vector<uint8_t> v = vol;
        KivNtfsBootSector bs;
        ASSERT_TRUE(KivParseNtfsBootSector(std::span<const uint8_t>(v).first(512), &bs));
        size_t rec = bs.nMftCluster * bs.nSecPerClus * 512 + 3 * bs.RecordBytes();
        v[rec + 510] ^= 0xFF;
        KivMemDevStor dev(v);
        CKivVolBriefNtfs b(&dev, 0);
        EXPECT_EQ(b.GetFsKind(), KIV_FSK_NTFS);
        EXPECT_EQ(b.GetTotalSectors(), 32767u);
        EXPECT_EQ(Label(b), "");
    }
    {
        // An MFT placed past the device's end: no read outside, no label.
        std::vector<uint8_t> v = vol;
        uint64_t far = 1ull << 40;
        std::memcpy(&v[48], &far, 8);
        KivMemDevStor dev(v);
        CKivVolBriefNtfs b(&dev, 0);
        EXPECT_EQ(b.GetFsKind(), KIV_FSK_NTFS);
        EXPECT_EQ(Label(b), "");
    }
}

TEST(VolBriefs, ExFatBootSectorAndRootLabel) {
    std::string path = testing::TempDir() + "brief-exfat-" + std::to_string(::getpid()) + ".img";
    {
        std::ofstream(path, std::ios::binary).close();
        std::filesystem::resize_file(path, 16u << 20);
    }
    if (std::system(("mkfs.exfat -L 'Fotos 2024' '" + path + "' >/dev/null 2>&1").c_str()) != 0) {
        std::remove(path.c_str());
        KIV_SKIP_MISSING_TOOL("mkfs.exfat (exfatprogs) is not installed");
    }
    KivMemDevStor dev(BehindAGap(path));
    CKivVolBriefList list(&dev, 2048);
    IKivVolBrief* b = list.Lookup();
    EXPECT_EQ(b->GetFsKind(), KIV_FSK_EXFAT);
    EXPECT_STREQ(KivFsKindName(b->GetFsKind()), "exFAT");
    EXPECT_EQ(b->GetTotalSectors(), 32768u);
    EXPECT_EQ(Label(*b), "Fotos 2024");
    // With the old parameter block not zero the sector is nobody's boot sector.
    dev.m_data[2048 * 512 + 20] = 1;
    EXPECT_EQ(CKivVolBriefList(&dev, 2048).Lookup()->GetFsKind(), KIV_FSK_UNKNOWN);
}

TEST(VolBriefs, ExtSuperblockKindSizeLabelAndUuid) {
    struct Case {
        const char* opts;
        int32_t nKind;
        const char* name;
    };
    for (const Case& c : {Case{"-t ext2", KIV_FSK_EXT2, "EXT2"}, Case{"-t ext3", KIV_FSK_EXT3, "EXT3"},
                          Case{"-t ext4 -O 64bit", KIV_FSK_EXT4, "EXT4"}}) {
        SCOPED_TRACE(c.opts);
        std::string path = testing::TempDir() + "brief-ext-" + std::to_string(::getpid()) + ".img";
        std::remove(path.c_str());
        if (std::system(("PATH=$PATH:/usr/sbin:/sbin mke2fs -q -F " + std::string(c.opts) + " -L 'Linux Home' -U 0123abcd-4567-89ef-0011-223344556677 '" +
                         path + "' 24M >/dev/null 2>&1")
                            .c_str()) != 0) {
            std::remove(path.c_str());
            KIV_SKIP_MISSING_TOOL("mke2fs (e2fsprogs) is not installed");
        }
        KivMemDevStor dev(BehindAGap(path));
        CKivVolBriefList list(&dev, 2048);
        IKivVolBrief* b = list.Lookup();
        EXPECT_EQ(b->GetFsKind(), c.nKind);
        EXPECT_STREQ(KivFsKindName(b->GetFsKind()), c.name);
        EXPECT_EQ(b->GetTotalSectors(), 49152u);
        EXPECT_EQ(Label(*b), "Linux Home");
        auto* pExt = dynamic_cast<CKivVolBriefExt*>(b);
        ASSERT_NE(pExt, nullptr);
        EXPECT_EQ(pExt->GetUuid(), "0123abcd-4567-89ef-0011-223344556677");
        // A superblock whose inode count disagrees with its groups is nobody's.
        dev.m_data[2048 * 512 + 1024] ^= 1;
        EXPECT_EQ(CKivVolBriefList(&dev, 2048).Lookup()->GetFsKind(), KIV_FSK_UNKNOWN);
    }
}
