// Volume briefs on volumes made by the real tools: mkntfs, mkfs.exfat and mke2fs.
#include <unistd.h>

#include <fstream>

#include "CKivVolBriefExt.h"
#include "CKivVolBriefList.h"
#include "CKivVolBriefNtfs.h"
#include "Ntfs/CKivNtfsBootSector.h"
#include "EnumDevImages.h"
#include "EnumDevTestSupport.h"
#include "KivMemDevStor.h"
#include "KivNeedTool.h"

using namespace kivdev_test;

namespace {

std::string Label(IKivVolBrief& b) {
    char sz[100];
    b.GetLabel(sz, sizeof sz);
    return std::string(sz, strnlen(sz, sizeof sz));
}


}  // namespace

TEST(VolBriefsLinux, NtfsBootSectorAndVolumeName) {
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

TEST(VolBriefsLinux, ExFatBootSectorAndRootLabel) {
    std::string path = testing::TempDir() + "brief-exfat-" + std::to_string(::getpid()) + ".img";
    {
        std::ofstream(path, std::ios::binary).close();
        std::filesystem::resize_file(path, 16u << 20);
    }
    if (std::system(("mkfs.exfat -L 'Fotos 2024' '" + path + "' >/dev/null 2>&1").c_str()) != 0) {
        std::remove(path.c_str());
        KIV_SKIP_MISSING_TOOL("mkfs.exfat (exfatprogs) is not installed");
    }
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> vol((std::istreambuf_iterator<char>(f)), {});
    std::remove(path.c_str());
    // Behind 2048 sectors of something else, as a partition.
    std::vector<uint8_t> disk(2048 * 512, 0);
    disk.insert(disk.end(), vol.begin(), vol.end());
    KivMemDevStor dev(disk);
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

TEST(VolBriefsLinux, ExtSuperblockKindSizeLabelAndUuid) {
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
        std::ifstream f(path, std::ios::binary);
        std::vector<uint8_t> vol((std::istreambuf_iterator<char>(f)), {});
        std::remove(path.c_str());
        std::vector<uint8_t> disk(2048 * 512, 0);
        disk.insert(disk.end(), vol.begin(), vol.end());
        KivMemDevStor dev(disk);
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
