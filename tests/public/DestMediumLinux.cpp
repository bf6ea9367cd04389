// Where a destination lies against the scanned medium, judged on fake sysfs and mountinfo trees,
// and destinations that cannot take files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/KivDestMedium.h"

namespace fs = std::filesystem;

namespace {

class DestMediumLinux : public ::testing::Test {
protected:
    void SetUp() override {
        char sz[] = "/tmp/kiv-dest-XXXXXX";
        ASSERT_NE(::mkdtemp(sz), nullptr);
        m_root = sz;
        m_roots.strSysfs = (m_root / "sys").string();
        m_roots.strMountInfo = (m_root / "mountinfo").string();
        fs::create_directories(m_root / "sys/dev/block");
        Mounts("");
    }
    void TearDown() override { fs::remove_all(m_root); }

    void Write(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    // A block device of the fake sysfs, under sys/block/<disk>[/<part>], linked from dev/block.
    fs::path Dev(const std::string& rel, unsigned nMajor, unsigned nMinor, bool bPartition = false) {
        fs::path dir = m_root / "sys/block" / rel;
        Write(dir / "dev", std::to_string(nMajor) + ":" + std::to_string(nMinor) + "\n");
        if (bPartition) Write(dir / "partition", "1\n");
        fs::create_directory_symlink(dir, m_root / "sys/dev/block" / (std::to_string(nMajor) + ":" + std::to_string(nMinor)));
        return dir;
    }
    void Mounts(const std::string& lines) { Write(m_roots.strMountInfo, lines); }

    static KivSourceId Block(unsigned nMajor, unsigned nMinor) {
        KivSourceId s;
        s.bBlock = true;
        s.rdev = makedev(nMajor, nMinor);
        return s;
    }
    KivSourceId Image(const fs::path& p) {
        Write(p, "image");
        struct stat st;
        EXPECT_EQ(::stat(p.c_str(), &st), 0);
        KivSourceId s;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        return s;
    }
    KivDestVerdict Judge(const KivSourceId& src, unsigned nMajor, unsigned nMinor, const std::string& dir = "/mnt/out") {
        return KivJudgeDestination(src, makedev(nMajor, nMinor), dir, m_roots);
    }

    fs::path m_root;
    KivMediumRoots m_roots;
};

}  // namespace

TEST_F(DestMediumLinux, ScannedDiskItsPartitionsAndWhatSitsOnThemAreRefused) {
    Dev("sda", 8, 0);
    Dev("sda/sda1", 8, 1, true);
    Dev("sda/sda3", 8, 3, true);
    Dev("sdb", 8, 16);
    Dev("sdb/sdb1", 8, 17, true);
    fs::path dm = Dev("dm-0", 253, 0);  // a mapper device over sda3
    fs::create_directories(dm / "slaves");
    fs::create_directory_symlink(m_root / "sys/block/sda/sda3", dm / "slaves/sda3");
    Mounts("30 1 8:1 / /mnt rw - ext4 /dev/sda1 rw\n31 1 8:17 / /data rw - ext4 /dev/sdb1 rw\n");

    KivDestVerdict v = Judge(Block(8, 0), 8, 1, "/mnt/out");
    EXPECT_EQ(v.place, KivDestPlace::kOnScannedMedium);
    EXPECT_NE(v.strWhy.find("sda1"), std::string::npos) << v.strWhy;
    EXPECT_NE(v.strWhy.find("/mnt"), std::string::npos) << v.strWhy;
    EXPECT_EQ(Judge(Block(8, 1), 8, 1).place, KivDestPlace::kOnScannedMedium);   // the partition itself
    EXPECT_EQ(Judge(Block(8, 0), 253, 0).place, KivDestPlace::kOnScannedMedium); // through the mapper
    EXPECT_EQ(Judge(Block(8, 3), 253, 0).place, KivDestPlace::kOnScannedMedium);
    // Another disk, and another partition of a disk whose partition alone is scanned, are fine.
    EXPECT_EQ(Judge(Block(8, 0), 8, 17, "/data/out").place, KivDestPlace::kElsewhere);
    EXPECT_EQ(Judge(Block(8, 1), 8, 3).place, KivDestPlace::kElsewhere);
    EXPECT_EQ(Judge(Block(8, 1), 253, 0).place, KivDestPlace::kElsewhere);
}

TEST_F(DestMediumLinux, FileSystemReportingAnAnonymousDeviceIsJudgedByItsMountSource) {
    // btrfs shows an anonymous number (0:45) in stat; its mount source names the block device.
    // Any block device node of this machine stands in for it, made a partition of the fake disk.
    std::string node;
    for (auto& e : fs::directory_iterator("/dev"))
        if (e.is_block_file()) {
            node = e.path().string();
            break;
        }
    if (node.empty()) GTEST_SKIP() << "no block device node under /dev";
    struct stat st;
    ASSERT_EQ(::stat(node.c_str(), &st), 0);
    Dev("sdz", 250, 0);
    Dev("sdz/sdz2", major(st.st_rdev), minor(st.st_rdev), true);
    Mounts("40 1 0:45 / /home rw - btrfs " + node + " rw\n");
    EXPECT_EQ(Judge(Block(250, 0), 0, 45, "/home/me").place, KivDestPlace::kOnScannedMedium);
    EXPECT_EQ(Judge(Block(250, 0), 0, 46, "/home/me").place, KivDestPlace::kElsewhere);
}

TEST_F(DestMediumLinux, MountsOfTheImageAreRefusedItsOwnFileSystemIsOnlyNamed) {
    fs::path img = m_root / "card.img";
    KivSourceId src = Image(img);
    fs::path other = m_root / "other.img";
    Image(other);
    // A FUSE mount of the image file itself.
    Mounts("50 1 0:77 / /mnt/card rw - fuseblk " + img.string() + " rw\n51 1 0:78 / /mnt/other rw - fuseblk " +
           other.string() + " rw\n52 1 7:0 / /mnt/loop rw - vfat /dev/loop0 rw\n");
    KivDestVerdict v = Judge(src, 0, 77, "/mnt/card/out");
    EXPECT_EQ(v.place, KivDestPlace::kOnScannedMedium);
    EXPECT_NE(v.strWhy.find("the image itself"), std::string::npos) << v.strWhy;
    EXPECT_EQ(Judge(src, 0, 78, "/mnt/other/out").place, KivDestPlace::kElsewhere);
    // A loop device backed by the image.
    fs::path loop = Dev("loop0", 7, 0);
    Write(loop / "loop/backing_file", img.string() + "\n");
    v = Judge(src, 7, 0, "/mnt/loop/x");
    EXPECT_EQ(v.place, KivDestPlace::kOnScannedMedium);
    EXPECT_NE(v.strWhy.find("backed by the image"), std::string::npos) << v.strWhy;
    Write(loop / "loop/backing_file", img.string() + " (deleted)\n");
    EXPECT_EQ(Judge(src, 7, 0, "/mnt/loop/x").place, KivDestPlace::kOnScannedMedium);
    Write(loop / "loop/backing_file", other.string() + "\n");
    EXPECT_EQ(Judge(src, 7, 0, "/mnt/loop/x").place, KivDestPlace::kElsewhere);
    // The file system holding the image: the image itself is not written.
    EXPECT_EQ(Judge(src, major(src.dev), minor(src.dev), m_root.string()).place, KivDestPlace::kSameFsAsImage);
}

TEST_F(DestMediumLinux, LoopDeviceOverAFileOnTheScannedDiskIsRefused) {
    // The destination is a loop-mounted image file that itself lies on the scanned disk's file
    // system: writing into it writes onto that disk.
    fs::path backing = m_root / "vm.img";
    Write(backing, "x");
    struct stat st;
    ASSERT_EQ(::stat(backing.c_str(), &st), 0);
    fs::path loop = Dev("loop3", 7, 3);
    Write(loop / "loop/backing_file", backing.string() + "\n");
    Dev("real", major(st.st_dev), minor(st.st_dev));
    Mounts("60 1 7:3 / /mnt/vm rw - ext4 /dev/loop3 rw\n");
    KivDestVerdict v = Judge(Block(major(st.st_dev), minor(st.st_dev)), 7, 3, "/mnt/vm/out");
    EXPECT_EQ(v.place, KivDestPlace::kOnScannedMedium);
    EXPECT_NE(v.strWhy.find("loop3"), std::string::npos) << v.strWhy;
}

TEST_F(DestMediumLinux, DestinationsThatCannotTakeFiles) {
    fs::path file = m_root / "afile";
    Write(file, "x");
    EXPECT_NE(KivDestUnusable(file.string()).find("is not a folder"), std::string::npos);
    EXPECT_NE(KivDestUnusable((file / "sub").string()).find("is not a folder"), std::string::npos);
    EXPECT_NE(KivDestUnusable("/proc/undelia-out").find("virtual file system (proc)"), std::string::npos);
    EXPECT_NE(KivDestUnusable("/sys/kernel/x").find("virtual file system (sysfs)"), std::string::npos);
    EXPECT_EQ(KivDestUnusable((m_root / "new/deeper").string()), "");
    EXPECT_EQ(KivDestUnusable(m_root.string()), "");
    EXPECT_FALSE(fs::exists(m_root / "new"));  // nothing is made
    if (::geteuid() != 0) {  // root writes anywhere
        fs::path locked = m_root / "locked";
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_NE(KivDestUnusable((locked / "x").string()).find("cannot create"), std::string::npos);
        EXPECT_NE(KivDestUnusable(locked.string()).find("cannot write into"), std::string::npos);
        fs::permissions(locked, fs::perms::owner_all);
    }
    EXPECT_EQ(KivExistingAncestor((m_root / "a/b/c").string()), fs::canonical(m_root).string());
}
