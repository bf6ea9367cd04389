// The Windows device list over the recorded disks: what the device library enumerates and which
// drive letter it finds mounted from which partition.
#include <gtest/gtest.h>

#include "WinReplay.h"
#include "platform/KivDiskSource.h"

namespace {

using namespace kiv_winreplay;

class DiskSourceWindows : public ::testing::Test {
protected:
    void SetUp() override { KivSetWinDevApi(&m_api); }
    void TearDown() override { KivSetWinDevApi(nullptr); }
    CReplayApi m_api = FourDisks();
};

TEST_F(DiskSourceWindows, DisksPartitionsAndLetters) {
    std::vector<KivSysDisk> disks = KivSystemDisks("/sys", "/dev");
    // The refused drive is listed, in its place, so that opening it tells the user why.
    ASSERT_EQ(disks.size(), 5u);
    EXPECT_EQ(disks[0].strDevPath, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(disks[0].strName, "PHYSICALDRIVE0");
    EXPECT_EQ(disks[0].strModel, "Samsung SSD 860 EVO 250GB");
    EXPECT_EQ(disks[0].nSize512, 250059350016ull / 512);
    EXPECT_EQ(disks[1].nBusType, 17u);
    EXPECT_TRUE(disks[2].bRemovable);
    EXPECT_EQ(disks[2].nSize512, 0u);
    EXPECT_EQ(disks[4].strDevPath, "\\\\.\\PHYSICALDRIVE5");

    // The containers of the extended partition are no partitions of their own.
    std::vector<KivSysPartition> p0 = KivSystemPartitions(disks[0]);
    EXPECT_EQ(p0.size(), 13u);
    std::vector<KivSysPartition> p1 = KivSystemPartitions(disks[1]);
    ASSERT_EQ(p1.size(), 3u);
    EXPECT_EQ(p1[1].strName, "Harddisk1\\Partition2");
    EXPECT_EQ(p1[1].nStart512, 101 * MiB / 512);
    EXPECT_EQ(KivPartitionDevPath("/dev", p1[1].strName), "\\\\?\\GLOBALROOT\\Device\\Harddisk1\\Partition2");

    std::vector<KivMountEntry> mounts = KivSystemMounts("");
    const KivMountEntry* c = KivFindMount(mounts, p0[0].nMajor, p0[0].nMinor, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->strMountPoint, "C:\\");
    const KivMountEntry* d = KivFindMount(mounts, p1[1].nMajor, p1[1].nMinor, nullptr);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->strMountPoint, "D:\\");
    // E: spans two disks: it is mounted from no single partition.
    for (const KivMountEntry& m : mounts) EXPECT_NE(m.strMountPoint, "E:\\");
}

}  // namespace
