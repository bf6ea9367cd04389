// The disk's pieces: the sector count rule, the dynamic-disk test, reads through the transfer
// buffer, record ordering, and the kernel views (names, buses, mountinfo) and texts.
#include "CKivEnumDevEx.h"
#include "EnumDevTestSupport.h"
#include "KivDiskText.h"
#include "platform/KivBlockDev.h"
#include "platform/KivSysBlock.h"

using namespace kivdev_test;

TEST(DevDisk, SectorCountRule) {
    KivSizeFacts f;
    f.nGeometry = 1000000;
    f.nCylinder = 16065;
    f.bHasSize = true;
    f.nSizeSectors = 1000500;
    EXPECT_EQ(KivChooseSectorCount(f), 1000500u);  // the size reaches the geometry
    f.nSizeSectors = 999000;
    EXPECT_EQ(KivChooseSectorCount(f), 1000000u);  // no drive answer: whole cylinders
    f.bHasSize = false;
    f.bHasCap1 = true;
    f.nCap1 = 1000000 + 16065;  // exactly one cylinder more: not inside, the geometry wins
    EXPECT_EQ(KivChooseSectorCount(f), 1000000u);
    f.nCap1 = 1000000 + 16064;
    EXPECT_EQ(KivChooseSectorCount(f), 1016064u);
    f.nCap1 = 5;
    f.bHasCap2 = true;
    f.nCap2 = 1000001;
    EXPECT_EQ(KivChooseSectorCount(f), 1000001u);  // the second answer when the first is off
    KivSizeFacts image;  // no geometry at all (an image file)
    image.bHasSize = true;
    image.nSizeSectors = 77;
    EXPECT_EQ(KivChooseSectorCount(image), 77u);
}

TEST(DevDisk, DynamicDiskTest) {
    auto detect = [](MemDisk& d) {
        return KivDetectDynamic([&](uint64_t n, uint8_t* p) { return d.ReadSectors(p, n, 1) != 0; }, 512,
                                d.GetSectorCount());
    };
    {
        MemDisk d(10000);
        d.Put(0, TableSector().Entry(0, 0x07, 63, 100).b);
        EXPECT_FALSE(detect(d));
        d.Put(0, TableSector().Entry(0, 0x07, 63, 100).Entry(2, 0x42, 200, 100).b);
        EXPECT_TRUE(detect(d));
    }
    {
        // A 0x42 inside the extended chain; and a chain that loops is cut.
        MemDisk d(10000);
        d.Put(0, TableSector().Entry(0, 0x0F, 1000, 5000).b);
        d.Put(1000, TableSector().Entry(0, 0x07, 10, 10).Entry(1, 0x05, 100, 10).b);
        d.Put(1100, TableSector().Entry(0, 0x42, 10, 10).b);
        EXPECT_TRUE(detect(d));
        d.Put(1100, TableSector().Entry(0, 0x07, 10, 10).Entry(1, 0x05, 0, 10).b);
        EXPECT_FALSE(detect(d));
        EXPECT_LT(d.m_nReads, 20u);
    }
    {
        // GPT: LDM metadata and data partitions by name.
        MemDisk d(10000);
        d.Put(0, TableSector().Entry(0, 0xEE, 1, 9999).b);
        std::vector<uint8_t> arr(512, 0);
        auto name = [&](int e, const char* psz) {
            for (size_t i = 0; psz[i]; ++i) arr[e * 128 + 56 + 2 * i] = uint8_t(psz[i]);
        };
        name(0, "LDM metadata partition");
        d.Put(2, arr);
        EXPECT_FALSE(detect(d));
        name(1, "LDM data partition");
        d.Put(2, arr);
        EXPECT_TRUE(detect(d));
        MemDisk tiny(6);
        EXPECT_FALSE(detect(tiny));
    }
}

TEST(DevDisk, ImageDiskReads) {
    TempDir dir;
    // 9 MiB and a half sector: a short last sector reads with a zero tail.
    std::vector<uint8_t> data((9u << 20) + 256);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + i / 4096);
    WriteFile(dir / "a.img", data);
    ImageDisk d(dir / "a.img");
    ASSERT_TRUE(d.bOpen);
    EXPECT_EQ(d.p->GetSectorCount(), (9u << 20) / 512 + 1);
    EXPECT_EQ(d.p->GetDiskNumber(), -1);
    EXPECT_EQ(d.p->IsOpen(), 1);
    EXPECT_EQ(d.p->GetMbrSignature(), int64_t(data[440] | data[441] << 8 | data[442] << 16 | uint32_t(data[443]) << 24));
    std::vector<uint8_t> buf(9u << 20);
    // Through the transfer buffer (up to 4 MiB) and straight (longer).
    for (uint64_t n : {uint64_t(8192), uint64_t(18000)}) {
        ASSERT_EQ(d.p->ReadSectors(buf.data(), 3, n), 1);
        EXPECT_EQ(std::memcmp(buf.data(), data.data() + 3 * 512, n * 512), 0) << n;
    }
    ASSERT_EQ(d.p->ReadSectors(buf.data(), d.p->GetSectorCount() - 1, 1), 1);
    EXPECT_EQ(std::memcmp(buf.data(), data.data() + (9u << 20), 256), 0);
    EXPECT_TRUE(std::all_of(buf.begin() + 256, buf.begin() + 512, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(d.p->ReadSectors(buf.data(), d.p->GetSectorCount(), 1), 0);  // past the end
    EXPECT_EQ(d.p->CountUnreadable(0, d.p->GetSectorCount()), 0u);
    void* pLayout = nullptr;
    EXPECT_EQ(d.p->QueryLayout(&pLayout, KIV_LAYOUT_KERNEL), 0);  // an image has no kernel layout
    d.p->Close();
    EXPECT_EQ(d.p->IsOpen(), 0);
    EXPECT_EQ(d.p->Open(), 1);
    ASSERT_EQ(d.p->ReadSectors(buf.data(), 0, 1), 1);
    EXPECT_EQ(buf[1], data[1]);

    WriteFile(dir / "empty.img", {});
    EXPECT_FALSE(ImageDisk(dir / "empty.img").bOpen);
    ImageDisk folder(dir.Path());
    EXPECT_FALSE(folder.bOpen);
    EXPECT_EQ(folder.nErr, KIV_ENOTBLK);
}

TEST(DevDisk, RecordOrderAndTexts) {
    std::vector<PartInfo> parts(6);
    const char letters[] = {0, 'E', 0, 'C', 'D', 0};
    for (int i = 0; i < 6; ++i) {
        std::memset(&parts[i], 0, sizeof(PartInfo));
        parts[i].cDriveLetter = letters[i];
        parts[i].nPartNumber = i;
    }
    CKivEnumDevEx::OrderParts(&parts);
    std::vector<int> order;
    for (const PartInfo& r : parts) order.push_back(r.nPartNumber);
    EXPECT_EQ(order, (std::vector<int>{3, 4, 1, 0, 2, 5}));

    char sz[6];
    KivCopyText(sz, sizeof sz, "ab\xC3\xA9\xC3\xA9");  // "abéé": the second é does not fit whole
    EXPECT_STREQ(sz, "ab\xC3\xA9");
    KivDiskDescriptor d{};
    std::strcpy(d.szVendor, "(Standard disk drives)");
    std::strcpy(d.szProduct, "Disk");
    std::strcpy(d.szBusName, "USB Device");
    EXPECT_EQ(KivDiskDescription(d), "Disk  USB Device");
    EXPECT_STREQ(KivFsKindName(5), "EXT3");
    EXPECT_STREQ(KivFsKindName(6), "UNKNOWN");
    EXPECT_STREQ(KivFsKindName(-1), "UNKNOWN");
}

TEST(DevDisk, KernelViews) {
    std::vector<std::string> names{"sdaa", "loop2", "sdb", "nvme10n1", "nvme2n1", "sdz", "mmcblk1", "dm-3", "vda", "hdb"};
    std::sort(names.begin(), names.end(), KivDiskNameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"dm-3", "hdb", "mmcblk1", "nvme2n1", "nvme10n1", "sdb", "sdz", "sdaa",
                                               "vda", "loop2"}));
    for (const char* n : {"sda", "sdab", "hdc", "vdb", "xvda", "nvme0n1", "nvme12n3", "mmcblk0"})
        EXPECT_TRUE(KivIsListedDiskName(n, "/nonexistent")) << n;
    for (const char* n : {"sda1", "nvme0n1p2", "nvme0c0n1", "mmcblk0p1", "mmcblk0boot0", "mmcblk0rpmb", "loop0", "dm-0",
                          "zram0", "ram0", "sr0", "md0", "sd", "nvme0", "fd0"})
        EXPECT_FALSE(KivIsListedDiskName(n, "/nonexistent")) << n;

    EXPECT_EQ(KivBusTypeFromSysPath("../devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb", "sdb"),
              KIV_BUS_USB);
    EXPECT_EQ(KivBusTypeFromSysPath("../devices/pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0/block/sda", "sda"),
              KIV_BUS_ATA);
    EXPECT_EQ(KivBusTypeFromSysPath("../devices/pci0000:00/0000:00:02.0/virtio1/block/vda", "vda"), KIV_BUS_SCSI);
    EXPECT_EQ(KivBusTypeFromSysPath("../devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", "nvme0n1"),
              KIV_BUS_NVME);
    EXPECT_EQ(KivBusTypeFromSysPath("../devices/platform/fe320000.mmc/mmc_host/mmc1/mmc1:aaaa/block/mmcblk1", "mmcblk1"),
              KIV_BUS_SD);
    EXPECT_EQ(KivBusTypeFromSysPath("../devices/virtual/block/loop0", "loop0"), KIV_BUS_FILE);
    EXPECT_EQ(KivBusTypeFromSysPath("../devices/pci0000:00/0000:00:10.0/host2/port-2:0/end_device-2:0/target2:0:0/2:0:0:0/block/sdc", "sdc"),
              KIV_BUS_SAS);
    EXPECT_EQ(KivBusTypeFromSysPath("../devices/vbd-51712/block/xvda", "xvda"), KIV_BUS_VIRTUAL);

    auto m = KivParseMountInfo(
        "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
        "37 35 98:0 / /mnt/with\\040space\\011tab ro shared:2 shared:3 - ext3 /dev/root ro\n"
        "garbage line\n"
        "38 35 8:1 / /boot ro - vfat /dev/sda1 ro\n");
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[1].strMountPoint, "/mnt/with space\ttab");
    EXPECT_EQ(m[1].strFsType, "ext3");
    EXPECT_TRUE(m[0].bReadWrite);
    EXPECT_FALSE(m[1].bReadWrite);
    bool bRw = false;
    const KivMountEntry* p = KivFindMount(m, 98, 0, &bRw);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->strMountPoint, "/mnt/with space\ttab");  // the whole file system is preferred
    EXPECT_TRUE(bRw);
    EXPECT_FALSE(KivFindMount(m, 8, 1, &bRw) == nullptr);
    EXPECT_FALSE(bRw);
    EXPECT_EQ(KivFindMount(m, 8, 2, &bRw), nullptr);
    uint32_t a = 0, b = 0;
    EXPECT_TRUE(KivParseDevNumber("259:12", &a, &b));
    EXPECT_EQ(a, 259u);
    EXPECT_EQ(b, 12u);
    EXPECT_FALSE(KivParseDevNumber("259", &a, &b));
    EXPECT_FALSE(KivParseDevNumber("x:1", &a, &b));
}
