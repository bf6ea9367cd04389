// The windowed file reader: reads across window borders, the partial last window, the end of the
// storage, failing storages and large sectors.
#include <gtest/gtest.h>

#include "AnalyserTestKit.h"
#include "Analysers/CRawFileReader.h"

using namespace kit;

namespace {

Bytes Counting(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + (i >> 9));
    return b;
}

TEST(RawFileReader, ReadsAcrossWindowBordersFromTheFileStart) {
    Bytes dev = Counting(400 * 512);
    KivMemDevStor stor(dev);
    CRawFileReader rd;
    rd.Init(&stor, 5);
    EXPECT_EQ(rd.WindowBytes(), 65536u);
    const size_t base = 5 * 512;
    uint8_t buf[600];
    for (uint64_t off : {0ull, 65530ull, 65536ull + 65000, 131072ull - 1}) {
        ASSERT_TRUE(rd.Read(off, buf, sizeof buf)) << off;
        EXPECT_EQ(0, std::memcmp(buf, dev.data() + base + off, sizeof buf)) << off;
        auto w = rd.Window(off, 600);
        ASSERT_EQ(w.size(), 600u);
        EXPECT_EQ(0, std::memcmp(w.data(), dev.data() + base + off, 600)) << off;
    }
    const uint8_t* p = rd.ByteAt(70000);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*p, dev[base + 70000]);
    uint32_t v = 0;
    ASSERT_TRUE(rd.ReadU32BE(65534, v));
    EXPECT_EQ(v, uint32_t(dev[base + 65534]) << 24 | dev[base + 65535] << 16 | dev[base + 65536] << 8 | dev[base + 65537]);
    // A structure in the overlap sector does not reload the window.
    stor.m_nReads = 0;
    rd.Window(1000, 4);
    rd.Window(65536 + 100, 4);
    EXPECT_EQ(stor.m_nReads, 0u);
}

TEST(RawFileReader, LastWindowIsPartialAndTheEndFailsCleanly) {
    // 128 sectors after the start: exactly one window without its overlap sector.
    for (size_t nSectors : {128u, 130u, 200u}) {
        Bytes dev = Counting((nSectors + 2) * 512);
        KivMemDevStor stor(dev);
        CRawFileReader rd;
        rd.Init(&stor, 2);
        const uint64_t nEnd = nSectors * 512;
        uint8_t b = 0;
        EXPECT_TRUE(rd.ReadU8(nEnd - 1, b)) << nSectors;
        EXPECT_EQ(b, dev[2 * 512 + nEnd - 1]);
        EXPECT_FALSE(rd.ReadU8(nEnd, b)) << nSectors;
        EXPECT_EQ(rd.KnownEnd(), nEnd) << nSectors;
        EXPECT_TRUE(rd.Window(nEnd - 2, 4).empty());
        uint8_t buf[8];
        EXPECT_FALSE(rd.Read(nEnd - 4, buf, 8));
        EXPECT_EQ(rd.ByteAt(nEnd + 70000), nullptr);
    }
}

TEST(RawFileReader, HostileOffsetsFailingStoragesAndLargeSectors) {
    Bytes dev = Counting(64 * 4096);
    KivMemDevStor big(dev, 4096);
    CRawFileReader rd;
    rd.Init(&big, 1);
    EXPECT_EQ(rd.WindowBytes(), 128u * 4096);
    uint8_t b = 0;
    ASSERT_TRUE(rd.ReadU8(4096 * 10 + 3, b));
    EXPECT_EQ(b, dev[4096 * 11 + 3]);
    uint8_t buf[16];
    EXPECT_FALSE(rd.Read(~0ull - 4, buf, 16));
    EXPECT_FALSE(rd.ReadU8(~0ull, b));

    KivMemDevStor failing(Counting(4096));
    failing.m_bFail = true;
    rd.Init(&failing, 0);
    EXPECT_FALSE(rd.ReadU8(0, b));
    rd.Init(nullptr, 0);
    EXPECT_FALSE(rd.ReadU8(0, b));
    EXPECT_EQ(rd.WindowBytes(), 65536u);
    KivMemDevStor odd(Counting(4096), 100);  // not a sector size the engine has
    rd.Init(&odd, 0);
    EXPECT_FALSE(rd.ReadU8(0, b));
}

TEST(RawFileReader, FindsTextsAcrossWindowsIgnoringCaseWhenAsked) {
    Bytes dev(300 * 512, 'x');
    kit::Put(dev, 512 + 65533, "</Html>");      // straddles the first window's end
    kit::Put(dev, 512 + 140000, "needle");
    KivMemDevStor stor(dev);
    CRawFileReader rd;
    rd.Init(&stor, 1);
    EXPECT_EQ(rd.Find(0, 200000, "</HTML>", true), 65533u);
    EXPECT_EQ(rd.Find(0, 200000, "</HTML>", false), CRawFileReader::kNotFound);
    EXPECT_EQ(rd.Find(65534, 200000, "needle"), 140000u);
    EXPECT_EQ(rd.Find(0, 140001, "needle"), 140000u);  // only its start must lie below the end
    EXPECT_EQ(rd.Find(0, 140000, "needle"), CRawFileReader::kNotFound);
    bool bFailed = false;
    EXPECT_EQ(rd.Find(0, 1u << 30, "absent", false, &bFailed), CRawFileReader::kNotFound);
    EXPECT_TRUE(bFailed);
    EXPECT_EQ(rd.KnownEnd(), 299u * 512);
}

}  // namespace
