// Enumeration of the machine's disks through a fake sysfs and /dev tree (regular files stand in
// for block devices): which names count, their order and numbers, descriptors, disks that cannot
// be opened, image files after the real disks, partitions with their mount points.
#include <sys/stat.h>
#include <unistd.h>

#include "CKivEnumDevEx.h"
#include "EnumDevImages.h"
#include "EnumDevTestSupport.h"
#include "platform/KivSysBlock.h"

using namespace kivdev_test;
namespace fs = std::filesystem;

namespace {

class FakeSystem {
public:
    std::string Sys() const { return m_dir / "sys"; }
    std::string Dev() const { return m_dir / "dev"; }
    std::string MountInfo() const { return m_dir / "mountinfo"; }

    // A disk whose sysfs folder lies at sys/devices/<devicePath>/block/<name>, linked from
    // sys/block/<name>; attrs are files relative to that folder ("device/model" ...). imagePath
    // becomes dev/<name> (a link) unless empty.
    std::string AddDisk(const std::string& name, const std::string& devicePath, uint64_t nSize512,
                        const std::vector<std::pair<std::string, std::string>>& attrs, const std::string& imagePath) {
        std::string rel = "devices/" + devicePath + "/block/" + name;
        std::string dir = Sys() + "/" + rel;
        fs::create_directories(dir);
        fs::create_directories(Sys() + "/block");
        fs::create_symlink("../" + rel, Sys() + "/block/" + name);
        Write(dir + "/size", std::to_string(nSize512) + "\n");
        for (auto& [k, v] : attrs) {
            fs::create_directories(fs::path(dir + "/" + k).parent_path());
            Write(dir + "/" + k, v + "\n");
        }
        fs::create_directories(Dev());
        if (!imagePath.empty()) fs::create_symlink(imagePath, Dev() + "/" + name);
        return dir;
    }
    void AddPartition(const std::string& diskDir, const std::string& name, int n, uint64_t start, uint64_t size,
                      const std::string& dev) {
        std::string d = diskDir + "/" + name;
        fs::create_directories(d);
        Write(d + "/partition", std::to_string(n));
        Write(d + "/start", std::to_string(start));
        Write(d + "/size", std::to_string(size));
        Write(d + "/dev", dev);
    }
    static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

private:
    TempDir m_dir;
};

struct Enumerated {
    CKivEnumDevEx* p = new CKivEnumDevEx();
    std::vector<DiskInfo> disks;
    PartList parts;
    ~Enumerated() {
        KivReleasePartInfos(&parts.v);
        KivReleaseDiskInfos(&disks);
        p->Release();
    }
    std::vector<std::string> Problems() {
        std::vector<std::string> out;
        KivDevProblem pr;
        for (uint32_t i = 0; p->GetProblem(i, &pr); ++i) out.push_back(pr.szText);
        return out;
    }
};

const DiskInfo* ByName(const std::vector<DiskInfo>& v, const char* name) {
    for (const DiskInfo& d : v)
        if (std::string(d.szName) == name) return &d;
    return nullptr;
}

}  // namespace

TEST(DiskEnumLinux, FakeMachine) {
    ASSERT_FALSE(DiskImageDir().empty());
    const std::string img = DiskImageDir();
    FakeSystem sys;
    sys.AddDisk("sda", "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", 163840,
                {{"device/vendor", "ATA     "}, {"device/model", "Samsung SSD 860 "}, {"device/rev", "4B6Q"},
                 {"device/wwid", "t10.ATA Samsung S3Z9NB0K"}, {"removable", "0"}, {"dev", "8:0"}},
                img + "/gpt.img");
    std::string sdb = sys.AddDisk(
        "sdb", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", 163840,
        {{"device/vendor", "SanDisk"}, {"device/model", "Cruzer Blade"}, {"removable", "1"}, {"dev", "8:16"}},
        img + "/mbr.img");
    sys.AddPartition(sdb, "sdb1", 1, 2048, 16384, "8:17");
    sys.AddPartition(sdb, "sdb5", 5, 36864, 69632, "8:21");
    sys.AddDisk("sdc", "pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0", 1000, {{"dev", "8:32"}}, "");
    sys.AddDisk("nvme0n1", "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0", 81920,
                {{"device/model", "Samsung SSD 980 1TB"}, {"device/serial", "S64DNX0R"},
                 {"device/firmware_rev", "1B4QFXO7"}, {"dev", "259:0"}},
                img + "/stick.img");
    sys.AddDisk("loop0", "virtual", 81920, {{"loop/backing_file", "/home/me/card.img"}, {"dev", "7:0"}},
                img + "/stick.img");
    // Not disks we list: a loop device without a file, partitions-like and virtual names.
    sys.AddDisk("loop1", "virtual", 81920, {}, img + "/stick.img");
    sys.AddDisk("zram0", "virtual", 81920, {}, img + "/stick.img");
    sys.AddDisk("sr0", "pci0000:00/ata3/host2/target2:0:0/2:0:0:0", 81920, {}, img + "/stick.img");
    sys.AddDisk("nvme0c0n1", "pci0000:00/nvme/nvme0", 81920, {}, img + "/stick.img");
    sys.AddDisk("mmcblk0boot0", "platform/mmc_host/mmc0/mmc0:0001", 81920, {}, img + "/stick.img");
    sys.AddDisk("sdd", "pci0000:00/ata4/host3/target3:0:0/3:0:0:0", 0, {}, img + "/stick.img");  // no medium
    const bool bRoot = ::geteuid() == 0;
    if (!bRoot) {
        // A disk node the user may not read.
        TempDir locked;
        std::string node = sys.Dev() + "/sde";
        sys.AddDisk("sde", "pci0000:00/ata5/host4/target4:0:0/4:0:0:0", 1000, {}, "");
        WriteFile(node, std::vector<uint8_t>(4096));
        ::chmod(node.c_str(), 0);
    }
    sys.Write(sys.MountInfo(),
              "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
              "90 27 8:17 / /media/me/MY\\040STICK rw,nosuid,nodev shared:50 - vfat /dev/sdb1 rw,uid=1000\n"
              "91 27 8:17 /sub /srv/bind ro,relatime - vfat /dev/sdb1 ro\n");

    Enumerated e;
    e.p->SetSystemRoots(sys.Sys().c_str(), sys.Dev().c_str(), sys.MountInfo().c_str());
    std::string images[] = {img + "/disk4k.img", img + "/missing.img"};
    const char* paths[] = {images[0].c_str(), images[1].c_str()};
    ASSERT_EQ(e.p->SetImagePaths(paths, 2, 4096), KIV_OK);
    ASSERT_EQ(e.p->EnumDisk(&e.disks), KIV_OK);

    // Order by family then name; the unopenable sdc keeps its number (the numbers skip it).
    std::vector<std::string> names;
    for (const DiskInfo& d : e.disks) names.push_back(d.szName);
    EXPECT_EQ(names, (std::vector<std::string>{"nvme0n1", "sda", "sdb", "loop0", "disk4k.img"}));
    std::vector<int32_t> numbers;
    for (const DiskInfo& d : e.disks) numbers.push_back(d.pDisk->GetDiskNumber());
    EXPECT_EQ(numbers, (std::vector<int32_t>{0, 1, 2, bRoot ? 4 : 5, -1}));

    std::vector<std::string> problems = e.Problems();
    ASSERT_EQ(problems.size(), bRoot ? 2u : 3u);
    EXPECT_NE(problems[0].find(sys.Dev() + "/sdc' does not exist"), std::string::npos) << problems[0];
    if (!bRoot) {
        EXPECT_NE(problems[1].find("/sde: permission denied; reading raw disks needs administrator rights"),
                  std::string::npos)
            << problems[1];
    }
    EXPECT_NE(problems.back().find("missing.img' does not exist"), std::string::npos) << problems.back();

    const DiskInfo* pA = ByName(e.disks, "sda");
    const DiskInfo* pB = ByName(e.disks, "sdb");
    const DiskInfo* pN = ByName(e.disks, "nvme0n1");
    const DiskInfo* pL = ByName(e.disks, "loop0");
    const DiskInfo* pI = ByName(e.disks, "disk4k.img");
    ASSERT_TRUE(pA && pB && pN && pL && pI);
    KivDiskDescriptor d;
    ASSERT_EQ(pA->pDisk->GetDescriptor(&d), 1);
    EXPECT_EQ(d.nBusType, KIV_BUS_ATA);
    EXPECT_STREQ(d.szVendor, "ATA");
    EXPECT_STREQ(d.szProduct, "Samsung SSD 860");
    EXPECT_STREQ(d.szRevision, "4B6Q");
    EXPECT_STREQ(d.szSerial, "t10.ATA Samsung S3Z9NB0K");
    EXPECT_STREQ(pA->szDesc, "Samsung SSD 860  ATA Bus");
    EXPECT_EQ(pA->nUsb, 0);
    EXPECT_EQ(pA->nMediaType, int32_t(KIV_MEDIA_FIXED));
    ASSERT_EQ(pN->pDisk->GetDescriptor(&d), 1);
    EXPECT_EQ(d.nBusType, KIV_BUS_NVME);
    EXPECT_STREQ(d.szSerial, "S64DNX0R");
    EXPECT_STREQ(d.szRevision, "1B4QFXO7");
    EXPECT_STREQ(d.szBusName, "NVMe Disk Device");
    EXPECT_EQ(pB->nUsb, 1);
    EXPECT_EQ(pB->nRemovable, 1);
    EXPECT_EQ(pB->nMediaType, int32_t(KIV_MEDIA_REMOVABLE));
    EXPECT_EQ(pB->nMountFlags, KIV_MOUNTED | KIV_MOUNTED_RW);
    EXPECT_STREQ(pB->szDesc, "Cruzer Blade  USB Device");
    ASSERT_EQ(pL->pDisk->GetDescriptor(&d), 1);
    EXPECT_EQ(d.nBusType, KIV_BUS_FILE);
    EXPECT_STREQ(d.szProduct, "Loop device /home/me/card.img");
    EXPECT_EQ(pI->nSource, KIV_DISK_IMAGE);
    EXPECT_EQ(pI->pDisk->GetSectorSize(), 4096u);
    EXPECT_EQ(std::string(pI->pDisk->GetPath()), images[0]);
    EXPECT_EQ(pI->pStor, static_cast<IKivDevStor*>(pI->pDisk));

    ASSERT_EQ(e.p->EnumPart(&e.disks, &e.parts.v), KIV_OK);
    // nvme0n1 and loop0: a whole-disk FAT32; sda: GPT (2); sdb: MBR (5); the image: 2.
    ASSERT_EQ(e.parts.size(), 1u + 2 + 5 + 1 + 2);
    const PartInfo* pMounted = nullptr;
    for (const PartInfo& r : e.parts.v) {
        KivPartExtent x = Extent0(r);
        if (x.pDisk == pB->pDisk && x.nFirstSector == 2048) pMounted = &r;
        if (x.pDisk == pB->pDisk) {
            EXPECT_EQ(r.nUsb, 1);
        }
        if (x.pDisk == pB->pDisk && x.nFirstSector == 36864) {
            EXPECT_EQ(r.nPartNumber, 5);
            EXPECT_EQ(r.nMountFlags, 0);
        }
    }
    ASSERT_NE(pMounted, nullptr);
    EXPECT_STREQ(pMounted->szLabel, "PRIMFAT");
    EXPECT_STREQ(pMounted->szMountPoint, "/media/me/MY STICK");
    EXPECT_EQ(pMounted->nMountFlags, KIV_MOUNTED | KIV_MOUNTED_RW);
    EXPECT_EQ(pMounted->nPartNumber, 1);
    EXPECT_EQ(std::string(pMounted->szDevPath), sys.Dev() + "/sdb1");
    EXPECT_STREQ(pMounted->szDesc, "SanDisk  Cruzer Blade  USB Device");

    // A second enumeration lists the same disks (nothing is cached between them).
    Enumerated again;
    again.p->SetSystemRoots(sys.Sys().c_str(), sys.Dev().c_str(), sys.MountInfo().c_str());
    ASSERT_EQ(again.p->EnumDisk(&again.disks), KIV_OK);
    EXPECT_EQ(again.disks.size(), 4u);
}

TEST(DiskEnumLinux, NoDisksAndTheRealMachine) {
    TempDir empty;
    Enumerated e;
    e.p->SetSystemRoots(empty.Path().c_str(), empty.Path().c_str(), (empty / "none").c_str());
    ASSERT_EQ(e.p->EnumDisk(&e.disks), KIV_OK);
    EXPECT_TRUE(e.disks.empty());
    EXPECT_EQ(e.p->GetProblemCount(), 0u);
    ASSERT_EQ(e.p->EnumPart(&e.disks, &e.parts.v), KIV_OK);
    EXPECT_EQ(e.parts.size(), 0u);
    EXPECT_EQ(KivErrNo(e.p->EnumDisk(nullptr)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(e.p->SetImagePaths(nullptr, 1, 0)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(e.p->SetImagePaths(nullptr, 0, 1000)), KIV_E_SECTORSIZE);

    // This machine's own disks, read only: whatever it has, the listed names are disk names.
    for (const KivSysDisk& d : KivListSysDisks("/sys", "/dev")) {
        EXPECT_TRUE(KivIsListedDiskName(d.strName, d.strSysDir)) << d.strName;
        EXPECT_GT(d.nSize512, 0u) << d.strName;
    }
}

TEST(DiskEnumLinux, FloppyDrives) {
    TempDir dir;
    ASSERT_EQ(std::system(("mkfs.fat -C -n FLOPPYA '" + (dir / "a.img") + "' 1440 >/dev/null").c_str()), 0);
    std::filesystem::create_directories(dir / "dev");
    std::filesystem::create_symlink(dir / "a.img", dir / "dev/fd0");
    WriteFile(dir / "dev/fd1", std::vector<uint8_t>(1474560, 0));
    WriteFile(dir / "disk.img", std::vector<uint8_t>(1 << 20, 0));
    // One image disk (partitions are looked for only when there are disks), the fake /dev.
    auto Enumerate = [&](Enumerated& e) {
        e.p->SetSystemRoots((dir / "sys").c_str(), (dir / "dev").c_str(), (dir / "none").c_str());
        std::string img = dir / "disk.img";
        const char* paths[] = {img.c_str()};
        e.p->SetImagePaths(paths, 1, 0);
        ASSERT_EQ(e.p->EnumDisk(&e.disks), KIV_OK);
        ASSERT_EQ(e.p->EnumPart(&e.disks, &e.parts.v), KIV_OK);
    };
    {
        // A: holds a 1.44 MB floppy: listed with its kind and label after the disks' partitions.
        Enumerated e;
        Enumerate(e);
        ASSERT_EQ(e.parts.size(), 2u);  // B: holds a medium of the same size, but no file system
        const PartInfo& a = e.parts[0];
        EXPECT_EQ(a.nFloppy, 1);
        EXPECT_EQ(a.nSource, KIV_PART_FLOPPY);
        EXPECT_EQ(a.nFsKind, KIV_FSK_FAT12);
        EXPECT_STREQ(a.szLabel, "FLOPPYA");
        EXPECT_EQ(a.pDevice->GetSectorCount(), 2880u);
        EXPECT_EQ(Extent0(a).pDisk, nullptr);
        EXPECT_EQ(e.parts[1].nFsKind, KIV_FSK_UNKNOWN);
    }
    {
        // A: is no floppy (its size fits no floppy format): the step ends, B: is not tried.
        std::filesystem::remove(dir / "dev/fd0");
        WriteFile(dir / "dev/fd0", std::vector<uint8_t>(1000000, 0));
        Enumerated e;
        Enumerate(e);
        EXPECT_EQ(e.parts.size(), 0u);
    }
}
