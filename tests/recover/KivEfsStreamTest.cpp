// The import stream of an encrypted file, byte by byte.
#include <gtest/gtest.h>

#include <fstream>

#include "CKivEfsStream.h"
#include "RecoverTestUtil.h"

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
bool Wide(const uint8_t* p, const char* s) {
    for (size_t i = 0; s[i]; ++i)
        if (U16(p + 2 * i) != static_cast<uint8_t>(s[i])) return false;
    return true;
}

}  // namespace

TEST(KivEfsStream, HeaderLayouts) {
    auto h = CKivEfsStream::StreamHeader(100);
    EXPECT_EQ(U32(&h[0]), 256u);
    EXPECT_TRUE(Wide(&h[4], "ROBS"));
    EXPECT_EQ(U32(&h[20]), 30u);
    EXPECT_TRUE(Wide(&h[24], "NTFS"));
    EXPECT_EQ(U32(&h[44]), 2u);
    EXPECT_EQ(U16(&h[48]), 0x1910);
    EXPECT_EQ(U32(&h[50]), 116u);
    EXPECT_TRUE(Wide(&h[54], "GURE"));
    for (int i : {12, 16, 32, 40, 62, 65}) EXPECT_EQ(h[i], 0) << i;

    auto d = CKivEfsStream::DataStreamHeader();
    EXPECT_EQ(U32(&d[0]), 42u);
    EXPECT_TRUE(Wide(&d[4], "NTFS"));
    EXPECT_EQ(U32(&d[24]), 14u);
    EXPECT_TRUE(Wide(&d[28], "::$DATA"));

    auto b = CKivEfsStream::BlockHeader(65536, 3, 1000);
    EXPECT_EQ(U32(&b[0]), 65536u + 512);
    EXPECT_TRUE(Wide(&b[4], "GURE"));
    EXPECT_EQ(U16(&b[18]), 3);
    EXPECT_EQ(U32(&b[24]), 496u);
    EXPECT_EQ(U32(&b[28]), 1000u);
    EXPECT_EQ(U32(&b[32]), 1000u);
    EXPECT_EQ(U32(&b[36]), 0x10100000u);
    EXPECT_EQ(U32(&b[40]), 0x0001010Bu);
    EXPECT_EQ(U32(&b[44]), 65536u);
    EXPECT_EQ(b[511], 0);
}

TEST(KivEfsStream, BuildsBlocksFromTheIntermediateFile) {
    KivTestDir dir;
    std::vector<uint8_t> meta(40, 0x4D);
    const uint64_t nSize = 65536 + 1000;          // real size
    std::vector<uint8_t> data(65536 + 1024, 0);   // written in whole sectors
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    auto head = CKivEfsStream::StreamHeader(static_cast<uint32_t>(meta.size()));
    std::string in = dir.Str() + "/in", out = dir.Str() + "/out";
    {
        std::ofstream f(in, std::ios::binary);
        ASSERT_EQ(head.size(), 66u);
        ASSERT_EQ(meta.size(), 40u);
        f.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
        f.write(reinterpret_cast<const char*>(meta.data()), std::streamsize(meta.size()));
        f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        ASSERT_TRUE(f.good());
    }
    CKivFile fIn, fOut;
    ASSERT_TRUE(fIn.Open(in, CKivFile::Mode::kRead) && fOut.Open(out, CKivFile::Mode::kCreateTrunc));
    int nAsked = 0;
    EXPECT_EQ(CKivEfsStream::Build(fIn, fOut, nSize, [&] { return ++nAsked, false; }), CKivEfsStream::kDone);
    fIn.Close();
    fOut.Close();
    EXPECT_EQ(nAsked, 2);
    auto s = KivTestReadFile(out);
    ASSERT_EQ(s.size(), 66 + 40 + 42 + 512 + 65536 + 512 + 1024u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), s.begin()));
    EXPECT_EQ(s[66], 0x4D);
    EXPECT_EQ(U32(&s[106]), 42u);
    const uint8_t* b0 = &s[148];
    EXPECT_EQ(U16(b0 + 18), 0);
    EXPECT_EQ(U32(b0 + 28), 65536u);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 65536, b0 + 512));
    const uint8_t* b1 = b0 + 512 + 65536;
    EXPECT_EQ(U32(b1), 1024u + 512);
    EXPECT_EQ(U16(b1 + 18), 1);
    EXPECT_EQ(U32(b1 + 28), 1000u);  // valid length: what is left of the real size
    EXPECT_EQ(U32(b1 + 44), 1024u);

    // A stream header claiming less metadata than its own 16 bytes is refused.
    auto bad = CKivEfsStream::StreamHeader(0);
    bad[50] = 3;
    {
        std::ofstream f(in, std::ios::binary | std::ios::trunc);
        ASSERT_EQ(bad.size(), 66u);
        f.write(reinterpret_cast<const char*>(bad.data()), std::streamsize(bad.size()));
        ASSERT_TRUE(f.good());
    }
    ASSERT_TRUE(fIn.Open(in, CKivFile::Mode::kRead) && fOut.Open(out, CKivFile::Mode::kCreateTrunc));
    EXPECT_EQ(CKivEfsStream::Build(fIn, fOut, 0, nullptr), CKivEfsStream::kFailed);
}
