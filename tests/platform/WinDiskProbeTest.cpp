// The Windows device back end over recorded answers of four disks: an MBR system disk (with an
// extended partition whose layout needs a grown buffer), a GPT disk with a recovery partition, a
// USB card reader without a card, and a dynamic disk whose volume spans two disks. Runs on every
// build: the answers are bytes, as the drivers give them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/KivWinDevApi.h"
#include "platform/KivWinDiskProbe.h"
#include "platform/KivWinIoctl.h"
#include "WinReplay.h"

namespace {

using namespace kiv_winreplay;

TEST(WinDiskProbeTest, FourRecordedDisksAndTheirVolumes) {
    CReplayApi api = FourDisks();
    std::vector<std::pair<std::string, uint32_t>> failed;
    std::vector<KivWinDiskFacts> disks = KivWinListDisks(api, &failed);
    ASSERT_EQ(disks.size(), 4u);
    ASSERT_EQ(failed.size(), 1u);  // the missing numbers are no problem, the refused one is
    EXPECT_EQ(failed[0].first, "\\\\.\\PHYSICALDRIVE5");
    EXPECT_EQ(failed[0].second, KIV_WIN_ERROR_ACCESS_DENIED);

    const KivWinDiskFacts& d0 = disks[0];
    EXPECT_EQ(d0.nNumber, 0);
    ASSERT_TRUE(d0.bHasGeometry && d0.bHasLength && d0.bHasDescriptor && d0.bHasLayout);
    EXPECT_EQ(d0.geometry.nBytesPerSector, 512u);
    EXPECT_EQ(d0.geometry.nCylinders, 30401u);
    EXPECT_EQ(d0.nLength, 250059350016ull);
    EXPECT_EQ(d0.desc.strProduct, "Samsung SSD 860 EVO 250GB");
    EXPECT_EQ(d0.desc.strSerial, "S3Z9NB0K");
    EXPECT_EQ(d0.desc.strVendor, "");
    EXPECT_EQ(d0.layout.nMbrSignature, 0x1234ABCDu);
    // Empty slots are left out; the primary, the extended containers and twelve logical drives stay.
    EXPECT_EQ(d0.layout.parts.size(), 1u + 1 + 12 + 11);
    EXPECT_EQ(d0.layout.parts.back().nMbrType, 0x07);
    int nLayoutCalls = 0;
    for (auto [code, size] : api.calls)
        if (code == KIV_IOCTL_DISK_GET_DRIVE_LAYOUT_EX && size <= 5952 + 3840) ++nLayoutCalls;
    EXPECT_GE(nLayoutCalls, 2);  // the first buffer was too small and grew

    const KivWinDiskFacts& d1 = disks[1];
    ASSERT_TRUE(d1.bHasLayout);
    EXPECT_EQ(d1.layout.nStyle, 1u);
    ASSERT_EQ(d1.layout.parts.size(), 3u);
    EXPECT_TRUE(d1.layout.parts[2].bGpt);
    EXPECT_EQ(std::memcmp(d1.layout.parts[2].typeGuid, kRecovery, 16), 0);
    EXPECT_EQ(d1.layout.parts[1].name, u"Basic data partition");
    EXPECT_EQ(d1.geometry.nBytesPerSector, 4096u);
    EXPECT_EQ(d1.desc.nBusType, 17u);

    const KivWinDiskFacts& d2 = disks[2];  // listed, so the user sees the reader, but nothing to read
    EXPECT_FALSE(d2.bHasGeometry || d2.bHasLength || d2.bHasLayout);
    EXPECT_TRUE(d2.desc.bRemovable);
    EXPECT_EQ(d2.desc.nBusType, 7u);
    EXPECT_EQ(d2.desc.strSerial, "");

    const KivWinDiskFacts& d3 = disks[3];  // only the old calls answer
    EXPECT_TRUE(d3.bHasGeometry);
    EXPECT_FALSE(d3.geometry.bHasDiskSize);
    ASSERT_TRUE(d3.bHasLayout);
    ASSERT_EQ(d3.layout.parts.size(), 1u);
    EXPECT_EQ(d3.layout.parts[0].nMbrType, 0x42);
    EXPECT_EQ(d3.layout.parts[0].nStart, 63u * 512);

    std::vector<KivWinVolume> vols = KivWinListVolumes(api);
    ASSERT_EQ(vols.size(), 3u);  // F: has no medium, Z: no device
    EXPECT_EQ(KivWinLetterOf(vols, 0, MiB), 'C');
    EXPECT_EQ(KivWinLetterOf(vols, 1, 101 * MiB), 'D');
    EXPECT_EQ(KivWinLetterOf(vols, 3, MiB), 0);  // a spanned volume is no one partition's
    EXPECT_EQ(vols[2].extents.size(), 2u);
}

TEST(WinDiskProbeTest, AnswersThatClaimMoreThanTheyHoldAreRefused) {
    KivWinLayout l;
    std::vector<uint8_t> a = MbrLayoutEx(1, {{MiB, MiB, 1, 7}});
    a[4] = 2;  // two entries claimed, one given
    EXPECT_FALSE(KivDecodeLayoutEx(a, &l));
    a[4] = 0xFF;
    a[5] = 0xFF;
    a[6] = 0xFF;
    a[7] = 0x7F;
    EXPECT_FALSE(KivDecodeLayoutEx(a, &l));
    std::vector<KivWinExtent> x;
    std::vector<uint8_t> e = Extents({{0, 0, MiB}});
    e[0] = 3;
    EXPECT_FALSE(KivDecodeDiskExtents(e, &x));
    KivWinGeometry g;
    EXPECT_FALSE(KivDecodeGeometry(std::vector<uint8_t>(23), &g));
    // A descriptor whose text offsets point past its end reads as empty texts.
    KivWinStorageDesc d;
    std::vector<uint8_t> s = Descriptor(7, true, "V", "P", "S");
    s.resize(40);
    ASSERT_TRUE(KivDecodeStorageDescriptor(s, &d));
    EXPECT_EQ(d.strProduct, "");
}

}  // namespace
