// LZNT1 units built by a small compressor written from the public description of the format.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "CKivLznt1.h"
#include "RecoverTestUtil.h"

namespace {

std::vector<uint8_t> Pattern(size_t n, uint32_t seed, int runLen) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = (runLen && (i / runLen) % 2) ? static_cast<uint8_t>(i / runLen) : rng();
    return v;
}

}  // namespace

TEST(KivLznt1, UnitsRoundTrip) {
    struct Case {
        size_t n;
        uint32_t seed;
        int runLen;
    } cases[] = {{65536, 1, 0}, {65536, 2, 37}, {65536, 3, 1000}, {12345, 4, 5}, {1, 5, 0}, {4096, 6, 4096}};
    for (const auto& c : cases) {
        auto plain = Pattern(c.n, c.seed, c.runLen);
        auto packed = KivTestLznt1Compress(plain);
        std::vector<uint8_t> out(65536, 0xEE);
        ptrdiff_t n = CKivLznt1::DecodeUnit(packed, out);
        ASSERT_GE(n, static_cast<ptrdiff_t>(plain.size())) << c.n << "/" << c.runLen;
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), out.begin())) << c.n << "/" << c.runLen;
        // Past the data the unit reads as zeros.
        for (size_t i = plain.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
    }
    // Highly repetitive data really is compressed (long back references with overlap).
    std::vector<uint8_t> zeros(65536, 'z');
    EXPECT_LT(KivTestLznt1Compress(zeros).size(), 1024u);
}

TEST(KivLznt1, ShortChunkIsFollowedByZerosNotByTheNextChunk) {
    // First chunk decodes to 10 bytes, the second to 4096 'b': the second belongs at 4096.
    std::vector<uint8_t> a(10, 'a'), b(4096, 'b');
    auto pa = KivTestLznt1Compress(a), pb = KivTestLznt1Compress(b);
    pa.resize(pa.size() - 2);  // drop the end marker
    pa.insert(pa.end(), pb.begin(), pb.end());
    std::vector<uint8_t> out(8192);
    ASSERT_EQ(CKivLznt1::DecodeUnit(pa, out), 8192);
    EXPECT_EQ(out[9], 'a');
    EXPECT_EQ(out[10], 0);
    EXPECT_EQ(out[4095], 0);
    EXPECT_EQ(out[4096], 'b');
}

TEST(KivLznt1, HostileInputNeverReadsOrWritesOutside) {
    uint8_t backBeforeStart[] = {0x02, 0x80 | 0x30, 0x01, 0x00, 0x00};  // flag bit 0 set at position 0
    std::vector<uint8_t> out(4096);
    EXPECT_EQ(CKivLznt1::DecodeUnit(backBeforeStart, out), -1);
    uint8_t overrun[] = {0xFF, 0xBF, 0x00};  // claims 4096 body bytes, has 1
    EXPECT_EQ(CKivLznt1::DecodeUnit(overrun, out), -1);
    // A token cut in half at the end of the body.
    uint8_t cut[] = {0x02, 0xB0, 0x02, 'x', 0x00};
    EXPECT_EQ(CKivLznt1::DecodeUnit(cut, out), -1);
    // Random garbage: any answer, but within bounds (checked by the sanitizer build).
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> junk(rng() % 3000);
        for (auto& b : junk) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> small(rng() % 9000 + 1);
        ptrdiff_t n = CKivLznt1::DecodeUnit(junk, small);
        EXPECT_LE(n, static_cast<ptrdiff_t>(small.size()));
    }
}
