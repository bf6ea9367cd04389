// The sector reader on damaged media: only failing sectors read as zeros, crowded failures cost a
// bounded number of reads, untried areas are tried again on request, imported areas never are;
// and the bad-area map under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "CKivBadAreaMap.h"
#include "KivDamagedReader.h"

namespace {

constexpr uint32_t Z = 512;

std::vector<uint8_t> Pattern(uint64_t nSectors) {
    std::vector<uint8_t> d(nSectors * Z);
    for (uint64_t s = 0; s < nSectors; ++s)
        for (uint32_t j = 0; j < Z; j += 8) d[s * Z + j] = static_cast<uint8_t>(s * 7 + j + 1);
    return d;
}

// Checks one answered read against the truth: a sector is zeros and listed, or holds its data.
// Answers the sectors listed.
uint64_t CheckAnswer(const std::vector<uint8_t>& truth, const std::vector<uint8_t>& buf, uint64_t nFirst,
                     uint64_t nCount, const KivBadRanges& bad, const std::set<uint64_t>& badSectors) {
    std::vector<bool> listed(nCount, false);
    uint64_t nListed = 0, prevEnd = 0;
    for (const KivBadRange& r : bad) {
        EXPECT_LT(r.nFirst, r.nEnd);
        EXPECT_GE(r.nFirst, std::max(nFirst, prevEnd)) << "ranges sorted and inside the request";
        EXPECT_LE(r.nEnd, nFirst + nCount);
        prevEnd = r.nEnd;
        for (uint64_t s = r.nFirst; s < r.nEnd; ++s) listed[s - nFirst] = true, ++nListed;
    }
    for (uint64_t i = 0; i < nCount; ++i) {
        const uint8_t* got = buf.data() + i * Z;
        if (listed[i]) {
            EXPECT_TRUE(std::all_of(got, got + Z, [](uint8_t b) { return b == 0; })) << "sector " << nFirst + i;
        } else {
            EXPECT_FALSE(badSectors.count(nFirst + i)) << "unreadable sector " << nFirst + i << " not listed";
            EXPECT_EQ(std::memcmp(got, truth.data() + (nFirst + i) * Z, Z), 0) << "sector " << nFirst + i;
        }
    }
    return nListed;
}

struct ReaderFixture : ::testing::Test {
    explicit ReaderFixture(uint64_t nSectors = 200000) : stor(Pattern(nSectors)) {}
    KivDamagedReader& R() { return stor.Reader(); }
    // Reads and checks; answers the listed sectors.
    uint64_t ReadAndCheck(uint64_t nFirst, uint64_t nCount, uint32_t nFlags = 0, KivBadRanges* pBad = nullptr) {
        std::vector<uint8_t> buf(nCount * Z, 0xAA);
        KivBadRanges bad;
        EXPECT_EQ(stor.ReadSectorsEx(buf.data(), nFirst, nCount, nFlags, &bad), 1);
        if (pBad) *pBad = bad;
        return CheckAnswer(stor.Data(), buf, nFirst, nCount, bad, R().badSectors);
    }
    KivDamagedMemStor stor;
};

TEST_F(ReaderFixture, OneBadSectorCostsOnlyItself) {
    R().AddBad(5000, 5001);
    KivBadRanges bad;
    EXPECT_EQ(ReadAndCheck(4096, 8192, 0, &bad), 1u);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].nFirst, 5000u);
    EXPECT_EQ(bad[0].nKind, KIV_BAD_FAILED);
    // The block's read fails, then its sectors are read one by one: two failing reads in all, what
    // a disk whose every failure takes long can afford.
    EXPECT_EQ(R().FailedReads(), 2u);
    EXPECT_LE(R().DeviceReads(), 8192u + 1);
    EXPECT_NE(R().GetLastError(), 0);
    ASSERT_EQ(R().GetBadAreas().size(), 1u);
    EXPECT_EQ(R().GetBadAreas()[0].nEnd, 5001u);

    // Read again: the known sector is not asked for, the rest comes in two reads.
    R().accesses.clear();
    EXPECT_EQ(ReadAndCheck(4096, 8192), 1u);
    EXPECT_EQ(R().accesses.size(), 2u);
    // A plain ReadSectors answers the same bytes.
    std::vector<uint8_t> buf(8192 * Z);
    EXPECT_EQ(stor.ReadSectors(buf.data(), 4096, 8192), 1);
    EXPECT_EQ(buf[(5000 - 4096) * Z], 0);
    EXPECT_EQ(buf[(5001 - 4096) * Z], stor.Data()[5001 * Z]);
}

TEST_F(ReaderFixture, ScatteredBadSectorsNeverWriteOffTheirNeighbours) {
    // 300 single failures 300 sectors apart: far more than the region bound, but never crowded.
    for (uint64_t s = 1000; s < 1000 + 300 * 300; s += 300) R().AddBad(s, s + 1);
    for (uint64_t f = 0; f < 100000; f += 8192) ReadAndCheck(f, std::min<uint64_t>(8192, 200000 - f));
    for (const KivBadRange& r : R().GetBadAreas()) {
        EXPECT_EQ(r.nKind, KIV_BAD_FAILED);
        EXPECT_EQ(r.nEnd, r.nFirst + 1);
    }
    EXPECT_EQ(R().GetBadAreas().size(), 300u);
}

TEST_F(ReaderFixture, ARegionOfBadSectorsCostsBoundedReads) {
    // Unreadable from 1000 to 60000. The 64th failure is sector 1063; the probes from 1064 find
    // 1064 + 102400 readable and 1064 + 51200 not, so [1064, 52264) is written off untried.
    R().AddBad(1000, 60000);
    uint64_t nListed = 0;
    for (uint64_t f = 0; f < 200000; f += 8192) nListed += ReadAndCheck(f, std::min<uint64_t>(8192, 200000 - f));
    // Past 52264 a second crowd of 64 failures writes off the least area, [52328, 72808): readable
    // sectors after the region's end are left untried by the scan, but no more than that.
    EXPECT_EQ(nListed, 72808u - 1000u);
    KivBadRanges areas = R().GetBadAreas();
    ASSERT_GE(areas.size(), 2u);
    EXPECT_EQ(areas[0].nFirst, 1000u);
    EXPECT_EQ(areas[0].nEnd, 1064u);
    EXPECT_EQ(areas[0].nKind, KIV_BAD_FAILED);
    EXPECT_EQ(areas[1].nFirst, 1064u);
    EXPECT_EQ(areas[1].nEnd, 52264u);
    EXPECT_EQ(areas[1].nKind, KIV_BAD_UNTRIED);
    // The whole pass, damage included, stays within a bounded number of reads: 25 blocks undamaged,
    // the 1,000 readable sectors before the region one by one, and a few hundred more.
    EXPECT_LT(R().DeviceReads(), 1300u);
    EXPECT_LT(R().FailedReads(), 400u);

    // Reads inside the written-off area cost nothing.
    R().accesses.clear();
    EXPECT_EQ(ReadAndCheck(30000, 10), 10u);
    EXPECT_TRUE(R().accesses.empty());
}

TEST_F(ReaderFixture, AlternatingDamageIsOneRegion) {
    for (uint64_t s = 2000; s < 40000; s += 2) R().AddBad(s, s + 1);
    for (uint64_t f = 0; f < 49152; f += 8192) ReadAndCheck(f, 8192);
    KivBadRanges areas = R().GetBadAreas();
    bool bUntried = std::any_of(areas.begin(), areas.end(), [](const KivBadRange& r) { return r.nKind == KIV_BAD_UNTRIED; });
    EXPECT_TRUE(bUntried);
    EXPECT_LT(R().FailedReads(), 1000u);  // not 19,000
}

TEST_F(ReaderFixture, RetryGetsBackReadableSectorsOfAnUntriedArea) {
    R().AddBad(1000, 1100);  // 100 bad sectors; the rest of the written-off area reads fine
    ReadAndCheck(0, 8192);
    KivBadRanges areas = R().GetBadAreas();
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[1].nKind, KIV_BAD_UNTRIED);
    EXPECT_EQ(areas[1].nFirst, 1064u);
    // Without the flag the untried sectors are zeros, listed as untried.
    KivBadRanges bad;
    EXPECT_EQ(ReadAndCheck(5000, 100, 0, &bad), 100u);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].nKind, KIV_BAD_UNTRIED);
    // With it they are read, and the map forgets them.
    EXPECT_EQ(ReadAndCheck(5000, 100, KIV_READ_RETRY_UNTRIED), 0u);
    R().accesses.clear();
    EXPECT_EQ(ReadAndCheck(5000, 100), 0u);
    EXPECT_EQ(R().accesses.size(), 1u);
    // The sectors that really fail in there are found one by one and stay failed.
    EXPECT_EQ(ReadAndCheck(1000, 200, KIV_READ_RETRY_UNTRIED, &bad), 100u);
    for (const KivBadRange& r : bad) EXPECT_EQ(r.nKind, KIV_BAD_FAILED);
}

TEST_F(ReaderFixture, RetryOfARealBadRegionGivesUpWithinTheBound) {
    R().AddBad(1000, 60000);
    for (uint64_t f = 0; f < 65536; f += 8192) ReadAndCheck(f, 8192);
    uint64_t nBefore = R().FailedReads();
    // Recovery reads a file from the middle of the region, piece by piece.
    for (uint64_t f = 20000; f < 30000; f += 128) ReadAndCheck(f, 128, KIV_READ_RETRY_UNTRIED);
    uint64_t nRetryFails = R().FailedReads() - nBefore;
    EXPECT_LE(nRetryFails, 3u * CKivSectorReader::kRegionFailures);
    // Once given up, a retry costs no device access.
    R().accesses.clear();
    EXPECT_EQ(ReadAndCheck(40000, 128, KIV_READ_RETRY_UNTRIED), 128u);
    EXPECT_TRUE(R().accesses.empty());
}

TEST_F(ReaderFixture, RetryGivesUpOnlyAsFarAsTheBadRegionReaches) {
    R().AddBad(1000, 30000);
    for (uint64_t f = 0; f < 65536; f += 8192) ReadAndCheck(f, 8192);
    // The scan's probes write off readable sectors past the region's end.
    KivBadRanges areas = R().GetBadAreas();
    ASSERT_FALSE(areas.empty());
    EXPECT_GT(areas.back().nEnd, 30100u);
    EXPECT_EQ(areas.back().nKind, KIV_BAD_UNTRIED);
    // Recovery reads a file deep in the region: it gives up there after one crowd of failures...
    uint64_t nBefore = R().FailedReads();
    for (uint64_t f = 10000; f < 12000; f += 128) ReadAndCheck(f, 128, KIV_READ_RETRY_UNTRIED);
    EXPECT_LE(R().FailedReads() - nBefore, 3u * CKivSectorReader::kRegionFailures);
    // ...but a file right after the region's end comes back whole, and the region's own sectors
    // cost no more reads.
    EXPECT_EQ(ReadAndCheck(30000, 2000, KIV_READ_RETRY_UNTRIED), 0u);
    R().accesses.clear();
    EXPECT_EQ(ReadAndCheck(20000, 128, KIV_READ_RETRY_UNTRIED), 128u);
    EXPECT_TRUE(R().accesses.empty());
}

TEST_F(ReaderFixture, ImportedFailedAreasAreNeverReadAndUntriedOnesWaitForARetry) {
    stor.AddBadAreas({{100, 200, KIV_BAD_FAILED}, {300, 310, KIV_BAD_UNTRIED}});
    R().accesses.clear();
    std::vector<uint8_t> buf(400 * Z, 0xAA);
    KivBadRanges bad;
    // A plain read (the scan) touches neither.
    ASSERT_EQ(stor.ReadSectorsEx(buf.data(), 0, 400, 0, &bad), 1);
    ASSERT_EQ(bad.size(), 2u);
    EXPECT_EQ(bad[0].nFirst, 100u);
    EXPECT_EQ(bad[0].nEnd, 200u);
    EXPECT_EQ(bad[1].nKind, KIV_BAD_UNTRIED);
    EXPECT_EQ(buf[150 * Z], 0);
    EXPECT_EQ(buf[305 * Z], 0);
    EXPECT_EQ(buf[250 * Z], stor.Data()[250 * Z]);
    EXPECT_EQ(R().DeviceReads(), 3u);  // [0,100), [200,300), [310,400)
    // A retry (recovery) reads the untried area, never the failed one: the image holds fill there.
    ASSERT_EQ(stor.ReadSectorsEx(buf.data(), 0, 400, KIV_READ_RETRY_UNTRIED, &bad), 1);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].nKind, KIV_BAD_FAILED);
    EXPECT_EQ(buf[305 * Z], stor.Data()[305 * Z]);
    for (const auto& [first, n] : R().accesses) EXPECT_TRUE(first + n <= 100 || first >= 200);
}

TEST_F(ReaderFixture, ASavedMapPutBackIsTheSameMap) {
    // What a stored session does: the map of one device object, read out, put into a fresh one.
    R().AddBad(1000, 1100);
    R().AddBad(90000, 90001);
    for (uint64_t f = 0; f < 100000; f += 8192) ReadAndCheck(f, std::min<uint64_t>(8192, 200000 - f));
    KivBadRanges saved;
    ASSERT_EQ(stor.GetBadAreas(&saved), 1);
    ASSERT_GE(saved.size(), 3u);
    KivDamagedMemStor again(stor.Data());
    ASSERT_EQ(again.AddBadAreas(saved), 1);
    KivBadRanges back;
    again.GetBadAreas(&back);
    ASSERT_EQ(back.size(), saved.size());
    for (size_t i = 0; i < saved.size(); ++i) {
        EXPECT_EQ(back[i].nFirst, saved[i].nFirst);
        EXPECT_EQ(back[i].nEnd, saved[i].nEnd);
        EXPECT_EQ(back[i].nKind, saved[i].nKind);
    }
}

TEST_F(ReaderFixture, ProbesPastTheDeviceEndAreNotDamage) {
    R().AddBad(199000, 199064);  // 64 failures 1,000 sectors before the end
    ReadAndCheck(196608, 200000 - 196608);
    KivBadRanges areas = R().GetBadAreas();
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[1].nKind, KIV_BAD_UNTRIED);
    EXPECT_EQ(areas[1].nEnd, 200000u);  // clipped to the device
    EXPECT_LE(R().FailedReads(), 200u);
}

TEST_F(ReaderFixture, RandomDamageNeverGivesWrongBytes) {
    std::mt19937_64 rng(12);
    for (int i = 0; i < 400; ++i) {
        uint64_t s = rng() % 200000, n = 1 + rng() % (i % 10 == 0 ? 300 : 8);
        R().AddBad(s, std::min<uint64_t>(200000, s + n));
    }
    for (int i = 0; i < 300; ++i) {
        uint64_t n = 1 + rng() % 4096, f = rng() % (200000 - n);
        ReadAndCheck(f, n, (i & 1) ? KIV_READ_RETRY_UNTRIED : 0);
    }
}

TEST(BadAreaMap, KeepsKindsApartAndJoinsNeighbours) {
    CKivBadAreaMap m;
    m.MarkFailed(10, 11);
    m.MarkFailed(11, 12);
    EXPECT_EQ(m.Size(), 1u);
    m.MarkUntried(0, 30);  // only the gaps: [0,10) and [12,30)
    KivBadRanges l;
    m.List(&l);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0].nKind, KIV_BAD_UNTRIED);
    EXPECT_EQ(l[1].nFirst, 10u);
    EXPECT_EQ(l[1].nEnd, 12u);
    EXPECT_EQ(l[1].nKind, KIV_BAD_FAILED);
    EXPECT_EQ(l[2].nEnd, 30u);

    m.Clear(20, 25);  // read fine after all: the untried area is cut in two
    m.List(&l);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[2].nEnd, 20u);
    EXPECT_EQ(l[3].nFirst, 25u);
    EXPECT_FALSE(m.Overlaps(20, 25));
    EXPECT_TRUE(m.Overlaps(24, 26));

    uint64_t nFirst = 0, nNext = 0;
    const CKivBadAreaMap::Area* a = m.Find(27, &nFirst, &nNext);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(nFirst, 25u);
    EXPECT_EQ(nNext, UINT64_MAX);
    EXPECT_EQ(m.Find(22, nullptr, &nNext), nullptr);
    EXPECT_EQ(nNext, 25u);

    m.GiveUpRetry(0, 100);
    EXPECT_TRUE(m.Find(5, nullptr, nullptr)->bNoRetry);
    EXPECT_FALSE(m.Find(10, nullptr, nullptr)->bNoRetry);  // failed areas are not untried
    m.MarkFailed(0, 40);  // failed over everything joins into one
    EXPECT_EQ(m.Size(), 1u);
    m.List(&l, 5, 8);  // clipped
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].nFirst, 5u);
    EXPECT_EQ(l[0].nEnd, 8u);
}

}  // namespace
