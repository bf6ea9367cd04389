#include <gtest/gtest.h>

#include <numeric>

#include "KivMemDevStor.h"
#include "Raw/CBufferStorageDevice.h"

namespace {

// Every byte of sector s holds (s & 0xFF), so a read tells which sector it came from.
std::vector<uint8_t> NumberedSectors(uint64_t nSectors) {
    std::vector<uint8_t> v(nSectors * 512);
    for (uint64_t s = 0; s < nSectors; ++s) std::fill_n(v.begin() + s * 512, 512, static_cast<uint8_t>(s));
    return v;
}

void PushBlock(CBufferStorageDevice& ring, KivMemDevStor& dev, uint64_t nFirst, uint32_t nB) {
    std::vector<uint8_t> buf(nB * 512);
    ASSERT_TRUE(dev.ReadSectors(buf.data(), nFirst, nB));
    ring.Push(buf.data(), nFirst);
}

bool SectorsAre(const std::vector<uint8_t>& buf, uint64_t nFirst) {
    for (size_t i = 0; i < buf.size(); ++i)
        if (buf[i] != static_cast<uint8_t>(nFirst + i / 512)) return false;
    return true;
}

}  // namespace

TEST(RingDevice, FillsWrapsAndServesEveryHeldSectorFromMemory) {
    KivMemDevStor dev(NumberedSectors(64));
    CBufferStorageDevice ring;
    ASSERT_TRUE(ring.Init(&dev, 0, 512, 4, 5));  // capacity 20 sectors
    EXPECT_EQ(ring.GetSectorSize(), 512u);
    std::vector<uint8_t> buf(20 * 512);

    // Not yet full: held sectors are still answered from the ring.
    PushBlock(ring, dev, 0, 4);
    PushBlock(ring, dev, 4, 4);
    EXPECT_FALSE(ring.IsFull());
    dev.m_nReads = 0;
    ASSERT_TRUE(ring.ReadSectors(buf.data(), 1, 6));
    EXPECT_EQ(dev.m_nReads, 0u);
    EXPECT_TRUE(SectorsAre({buf.begin(), buf.begin() + 6 * 512}, 1));

    for (uint64_t f = 8; f < 40; f += 4) PushBlock(ring, dev, f, 4);
    EXPECT_TRUE(ring.IsFull());
    EXPECT_EQ(ring.GetFirstHeld(), 20u);
    EXPECT_EQ(ring.GetHeld(), 20u);
    EXPECT_EQ(ring.GetSectorCount(), 64u);  // the inner storage's: sector numbers are its own

    // The whole window, which wraps inside the ring, comes back in device order.
    dev.m_nReads = 0;
    ASSERT_TRUE(ring.ReadSectors(buf.data(), 20, 20));
    EXPECT_EQ(dev.m_nReads, 0u);
    EXPECT_TRUE(SectorsAre(buf, 20));
    for (uint64_t s = 20; s < 40; ++s) {
        std::vector<uint8_t> one(3 * 512);
        uint64_t n = s + 3 <= 40 ? 3 : 40 - s;
        one.resize(n * 512);
        ASSERT_TRUE(ring.ReadSectors(one.data(), s, n));
        EXPECT_TRUE(SectorsAre(one, s)) << "sector " << s;
    }
    EXPECT_EQ(dev.m_nReads, 0u);

    // Anything not wholly held goes to the inner storage.
    std::vector<uint8_t> two(2 * 512);
    ASSERT_TRUE(ring.ReadSectors(two.data(), 39, 2));
    EXPECT_EQ(dev.m_nReads, 1u);
    EXPECT_TRUE(SectorsAre(two, 39));
    ASSERT_TRUE(ring.ReadSectors(two.data(), 18, 2));
    EXPECT_EQ(dev.m_nReads, 2u);
    EXPECT_FALSE(ring.ReadSectors(two.data(), 63, 2));  // past the device end
}

TEST(RingDevice, BlockThatDoesNotFollowRestartsTheWindow) {
    KivMemDevStor dev(NumberedSectors(64));
    CBufferStorageDevice ring;
    ASSERT_TRUE(ring.Init(&dev, 0, 512, 4, 3));
    PushBlock(ring, dev, 8, 4);  // a scan that starts further in
    EXPECT_EQ(ring.GetFirstHeld(), 8u);
    PushBlock(ring, dev, 12, 4);
    PushBlock(ring, dev, 20, 4);  // block 16..19 was unreadable
    EXPECT_EQ(ring.GetFirstHeld(), 20u);
    EXPECT_EQ(ring.GetHeld(), 4u);
    std::vector<uint8_t> buf(4 * 512);
    dev.m_nReads = 0;
    ASSERT_TRUE(ring.ReadSectors(buf.data(), 20, 4));
    EXPECT_EQ(dev.m_nReads, 0u);
    EXPECT_TRUE(SectorsAre(buf, 20));
    ASSERT_TRUE(ring.ReadSectors(buf.data(), 12, 4));  // no longer held: from the device
    EXPECT_EQ(dev.m_nReads, 1u);
    EXPECT_TRUE(SectorsAre(buf, 12));
}

TEST(RingDevice, WithoutInnerStorageOrAfterCloseOnlyHeldSectorsRead) {
    CBufferStorageDevice ring;
    ASSERT_TRUE(ring.Init(nullptr, 0, 0, 2, 2));
    EXPECT_EQ(ring.GetSectorSize(), 512u);
    std::vector<uint8_t> blk(2 * 512, 0xAB), buf(512);
    ring.Push(blk.data(), 0);
    EXPECT_EQ(ring.GetSectorCount(), 2u);
    EXPECT_TRUE(ring.ReadSectors(buf.data(), 1, 1));
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_FALSE(ring.ReadSectors(buf.data(), 2, 1));
    EXPECT_EQ(ring.Close(), 1);
    EXPECT_FALSE(ring.IsFull());
    EXPECT_FALSE(ring.ReadSectors(buf.data(), 1, 1));
    EXPECT_FALSE(ring.Init(nullptr, 0, 512, 0, 20));
}

TEST(RingDevice, TrimmedBlocksKeepTheWindowAndReadFromTheInnerStorage) {
    KivMemDevStor dev(NumberedSectors(64));
    CBufferStorageDevice ring;
    ASSERT_TRUE(ring.Init(&dev, 0, 512, 4, 5));
    for (uint64_t f = 0; f < 20; f += 4) PushBlock(ring, dev, f, 4);
    // Before sector 6 nothing is needed, and at most two blocks keep their data: 4..7 and 8..11.
    ring.Trim(6, 2);
    EXPECT_TRUE(ring.IsFull());
    EXPECT_EQ(ring.GetFirstHeld(), 0u);
    EXPECT_EQ(ring.GetDataBlocks(), 2u);
    std::vector<uint8_t> buf(8 * 512);
    dev.m_nReads = 0;
    ASSERT_TRUE(ring.ReadSectors(buf.data(), 4, 8));
    EXPECT_EQ(dev.m_nReads, 0u);
    EXPECT_TRUE(SectorsAre(buf, 4));
    // A range that touches a block without data is read whole from the inner storage.
    for (uint64_t s : {2u, 10u, 14u}) {
        dev.m_nReads = 0;
        ASSERT_TRUE(ring.ReadSectors(buf.data(), s, 4));
        EXPECT_EQ(dev.m_nReads, 1u) << s;
        EXPECT_TRUE(SectorsAre({buf.begin(), buf.begin() + 4 * 512}, s)) << s;
    }
    // The window moves on as before; a new block keeps its data while there is room.
    PushBlock(ring, dev, 20, 4);
    EXPECT_EQ(ring.GetFirstHeld(), 4u);
    ring.Trim(0, 3);
    EXPECT_EQ(ring.GetDataBlocks(), 3u);
    dev.m_nReads = 0;
    ASSERT_TRUE(ring.ReadSectors(buf.data(), 20, 4));
    EXPECT_EQ(dev.m_nReads, 0u);
    EXPECT_TRUE(SectorsAre({buf.begin(), buf.begin() + 4 * 512}, 20));
}
