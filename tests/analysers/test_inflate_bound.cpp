#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <vector>

#include "Analysers/KivContentCheck.h"
#include "Analysers/KivInflateCheck.h"

namespace {

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& in) {
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&zs, uLong(in.size())));
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = uInt(in.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

void Le(std::vector<uint8_t>* p, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) p->push_back(uint8_t(v >> (8 * i)));
}

// One deflated member stating usize as its size, then the central directory.
std::vector<uint8_t> Zip(const std::vector<uint8_t>& data, uint32_t usize) {
    std::vector<uint8_t> z = RawDeflate(data), out;
    uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
    Le(&out, 0x04034b50, 4), Le(&out, 20, 2), Le(&out, 0, 2), Le(&out, 8, 2), Le(&out, 0, 4);
    Le(&out, crc, 4), Le(&out, uint32_t(z.size()), 4), Le(&out, usize, 4), Le(&out, 1, 2), Le(&out, 0, 2);
    out.push_back('a');
    out.insert(out.end(), z.begin(), z.end());
    size_t cd = out.size();
    Le(&out, 0x02014b50, 4), Le(&out, 20, 2), Le(&out, 20, 2), Le(&out, 0, 2), Le(&out, 8, 2), Le(&out, 0, 4);
    Le(&out, crc, 4), Le(&out, uint32_t(z.size()), 4), Le(&out, usize, 4), Le(&out, 1, 2), Le(&out, 0, 2);
    Le(&out, 0, 2), Le(&out, 0, 2), Le(&out, 0, 2), Le(&out, 0, 4), Le(&out, 0, 4);
    out.push_back('a');
    size_t cdLen = out.size() - cd;
    Le(&out, 0x06054b50, 4), Le(&out, 0, 4), Le(&out, 1, 2), Le(&out, 1, 2);
    Le(&out, uint32_t(cdLen), 4), Le(&out, uint32_t(cd), 4), Le(&out, 0, 2);
    return out;
}

// A member inflating to far more than it states is a break found where it overruns, and a stream
// is never inflated past the bound asked for.
TEST(InflateBound, MemberLargerThanItsSizeIsBrokenAndTheBoundHolds) {
    std::vector<uint8_t> data(4u << 20, 'x');
    EXPECT_EQ(KivCheckContent(Zip(data, uint32_t(data.size()))).kind, KivCheckVerdict::kWhole);
    EXPECT_EQ(KivCheckContent(Zip(data, 1000)).kind, KivCheckVerdict::kBroken);

    std::vector<uint8_t> z = RawDeflate(data);
    KivInflated inf;
    EXPECT_FALSE(KivInflate(z.data(), z.size(), -15, &inf, 100000));
    EXPECT_TRUE(inf.bCapped);
    EXPECT_LT(inf.nOut, 200000u);
    EXPECT_TRUE(KivInflate(z.data(), z.size(), -15, &inf));
    EXPECT_EQ(inf.nOut, data.size());
}

}  // namespace
