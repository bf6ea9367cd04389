// The Windows destination check: volumes against the scanned disk, volume or image, by extents.
#include <gtest/gtest.h>

#include "platform/KivWinDestJudge.h"

namespace {

constexpr uint64_t MiB = 1u << 20;

KivWinDestFacts Dest(const char* pszVol, std::vector<KivWinExtent> x) { return {pszVol, std::move(x)}; }

TEST(WinDestJudgeTest, RefusesTheScannedDiskItsVolumesAndTheScannedVolume) {
    KivWinSourceFacts disk;
    disk.kind = KivWinSourceFacts::Kind::kDisk;
    disk.nDisk = 1;
    EXPECT_EQ(KivWinJudgeDestination(disk, Dest("E:\\", {{1, 101 * MiB, 50 * MiB}})).place, KivDestPlace::kOnScannedMedium);
    // A spanned volume with one piece on the scanned disk is refused as well.
    EXPECT_EQ(KivWinJudgeDestination(disk, Dest("F:\\", {{0, MiB, MiB}, {1, 900 * MiB, MiB}})).place,
              KivDestPlace::kOnScannedMedium);
    EXPECT_EQ(KivWinJudgeDestination(disk, Dest("C:\\", {{0, MiB, 100 * MiB}})).place, KivDestPlace::kElsewhere);

    KivWinSourceFacts vol;
    vol.kind = KivWinSourceFacts::Kind::kVolume;
    vol.strVolume = "E:\\";
    vol.extents = {{1, 101 * MiB, 50 * MiB}};
    EXPECT_EQ(KivWinJudgeDestination(vol, Dest("e:\\", {})).place, KivDestPlace::kOnScannedMedium);
    EXPECT_EQ(KivWinJudgeDestination(vol, Dest("G:\\", {{1, 140 * MiB, 20 * MiB}})).place,
              KivDestPlace::kOnScannedMedium);  // overlaps: the same partition under another letter
    // Another partition of the same disk holds none of the scanned volume's data.
    KivDestVerdict v = KivWinJudgeDestination(vol, Dest("H:\\", {{1, 151 * MiB, 20 * MiB}}));
    EXPECT_EQ(v.place, KivDestPlace::kElsewhere);
}

TEST(WinDestJudgeTest, AnImageOnTheDestinationVolumeIsTold) {
    KivWinSourceFacts img;
    img.kind = KivWinSourceFacts::Kind::kImage;
    img.strImageVolume = "D:\\";
    EXPECT_EQ(KivWinJudgeDestination(img, Dest("d:\\", {{0, MiB, MiB}})).place, KivDestPlace::kSameFsAsImage);
    EXPECT_EQ(KivWinJudgeDestination(img, Dest("C:\\", {{0, 9 * MiB, MiB}})).place, KivDestPlace::kElsewhere);
}

}  // namespace
