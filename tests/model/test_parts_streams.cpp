// Result partitions and streams: stored layout, round trips, truncated input.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "KivScanResult.h"
#include "Model/CKivFileStream.h"
#include "Model/CKivMemStream.h"
#include "Model/KivStreamLE.h"

namespace {

void FillBase(CKivScanResPart& p) {
    p.m_nType = KIV_FS_FAT32;
    p.m_nSecPerClus = 8;
    p.m_nDataStart = 0x1122334455ull;
    p.m_nFirstSector = 63;
    p.m_nEvidenceA = 5;
    p.m_nEvidenceB = 6;
    p.m_nFlags = 0xA5A5;
    p.m_nSectorCount = 1ull << 33;
    p.m_nEvidenceC = 9;
    p.m_dScore = 312.5;
    p.m_nSelected = 1;
}

void ExpectSameBase(const CKivScanResPart& a, const CKivScanResPart& b) {
    EXPECT_EQ(a.m_nType, b.m_nType);
    EXPECT_EQ(a.m_nSecPerClus, b.m_nSecPerClus);
    EXPECT_EQ(a.m_nDataStart, b.m_nDataStart);
    EXPECT_EQ(a.m_nFirstSector, b.m_nFirstSector);
    EXPECT_EQ(a.m_nEvidenceA, b.m_nEvidenceA);
    EXPECT_EQ(a.m_nEvidenceB, b.m_nEvidenceB);
    EXPECT_EQ(a.m_nFlags, b.m_nFlags);
    EXPECT_EQ(a.m_nSectorCount, b.m_nSectorCount);
    EXPECT_EQ(a.m_nEvidenceC, b.m_nEvidenceC);
    EXPECT_EQ(a.m_dScore, b.m_dScore);
    EXPECT_EQ(a.m_nSelected, b.m_nSelected);
    EXPECT_EQ(a.m_nSectorSize, b.m_nSectorSize);
}

}  // namespace

TEST(ResPart, InitialValuesAndSectorSizeRule) {
    CKivScanResPart p(KIV_FS_NONE, 0);
    EXPECT_EQ(p.m_nType, KIV_FS_NONE);
    EXPECT_EQ(p.m_nEvidenceC, 1u);
    EXPECT_EQ(p.m_nSectorSize, 512u);
    EXPECT_EQ(CKivScanResPart(KIV_FS_NTFS, 520).m_nSectorSize, 512u);
    EXPECT_EQ(CKivScanResPart(KIV_FS_NTFS, 4096).m_nSectorSize, 4096u);
    EXPECT_EQ(p.GetScannerKind(), 3);
    EXPECT_EQ(CKivScanResPartFAT(KIV_FS_FAT16, 512).GetScannerKind(), 1);
    EXPECT_EQ(CKivScanNTFSPartInfo(KIV_FS_NTFS, 512).GetScannerKind(), 0);
    CKivScanNTFSPartInfo n(KIV_FS_NTFS, 512);
    EXPECT_EQ(n.m_aValues32[0], 2u);
    for (uint64_t v : n.m_aValues64) EXPECT_EQ(v, ~0ull);
}

TEST(ResPart, BaseLayoutIsFieldByFieldLittleEndian) {
    CKivScanResPart p(KIV_FS_FAT32, 4096);
    FillBase(p);
    CKivMemStream s;
    ASSERT_TRUE(p.Save(&s));
    const auto& b = s.Data();
    ASSERT_EQ(b.size(), 73u);  // 4+1+8+8+8+8+4+8+8+8+4+4
    EXPECT_EQ(b[0], 2);        // type
    EXPECT_EQ(b[4], 8);        // sectors per cluster, one byte
    EXPECT_EQ(b[5], 0x55);     // data start, low byte first
    EXPECT_EQ(b[9], 0x11);
    EXPECT_EQ(b[13], 63);      // first sector
    EXPECT_EQ(b[37], 0xA5);    // flags
    EXPECT_EQ(b[69], 0x00);    // sector size 4096 = 00 10 00 00
    EXPECT_EQ(b[70], 0x10);
    CKivScanResPart q(KIV_FS_NONE, 512);
    ASSERT_TRUE(q.Load(&s));
    ExpectSameBase(p, q);
}

TEST(ResPart, SubclassesRoundTripAfterTheBase) {
    CKivScanResPartFAT f(KIV_FS_FAT12, 512);
    FillBase(f);
    f.m_nReservedSectors = 32;
    f.m_nSectorsPerFat = 7777;
    f.m_nClusterCount = 65524;
    f.m_nRoot = 2;
    f.m_nEvidenceFlags = 0x15;
    CKivMemStream s;
    ASSERT_TRUE(f.Save(&s));
    EXPECT_EQ(s.Size(), 73u + 18u);
    CKivScanResPartFAT g(KIV_FS_NONE, 512);
    ASSERT_TRUE(g.Load(&s));
    ExpectSameBase(f, g);
    EXPECT_EQ(g.m_nReservedSectors, 32);
    EXPECT_EQ(g.m_nSectorsPerFat, 7777u);
    EXPECT_EQ(g.m_nClusterCount, 65524u);
    EXPECT_EQ(g.m_nRoot, 2u);
    EXPECT_EQ(g.m_nEvidenceFlags, 0x15u);

    CKivScanNTFSPartInfo n(KIV_FS_NTFS, 512);
    FillBase(n);
    n.m_nValue8 = 0xDEADBEEFCAFEull;
    n.m_aValues32[3] = 44;
    n.m_aValues64[0] = 786432;
    n.m_aValues64[8] = 12;
    CKivMemStream t;
    ASSERT_TRUE(n.Save(&t));
    EXPECT_EQ(t.Size(), 73u + 8u + 16u + 72u);
    CKivScanNTFSPartInfo m(KIV_FS_NONE, 512);
    ASSERT_TRUE(m.Load(&t));
    ExpectSameBase(n, m);
    EXPECT_EQ(m.m_nValue8, n.m_nValue8);
    EXPECT_EQ(m.m_aValues32[0], 2u);
    EXPECT_EQ(m.m_aValues32[3], 44u);
    EXPECT_EQ(m.m_aValues64[0], 786432u);
    EXPECT_EQ(m.m_aValues64[1], ~0ull);
    EXPECT_EQ(m.m_aValues64[8], 12u);
}

TEST(ResPart, ExFatFieldsAfterTheBase) {
    CKivScanResPartExFAT e(KIV_FS_EXFAT, 4096);
    FillBase(e);
    e.m_nSecPerClus32 = 65536;
    e.m_nFatOffset = 2048;
    e.m_nFatSectors = 128;
    e.m_nFatCount = 2;
    e.m_nClusterCount = 15872;
    e.m_nRootCluster = 5;
    e.m_nSerial = 0x6FBFF79C;
    e.m_nVolumeFlags = 3;
    e.m_nEvidenceFlags = 0x1FF;
    CKivMemStream s;
    ASSERT_TRUE(e.Save(&s));
    EXPECT_EQ(s.Size(), 73u + 4 + 8 + 8 + 1 + 4 + 4 + 4 + 2 + 4);
    CKivScanResPartExFAT g(KIV_FS_NONE, 512);
    ASSERT_TRUE(g.Load(&s));
    ExpectSameBase(e, g);
    EXPECT_EQ(g.GetScannerKind(), KIV_SCANNER_EXFAT);
    EXPECT_EQ(g.m_nSecPerClus32, 65536u);
    EXPECT_EQ(g.m_nFatOffset, 2048u);
    EXPECT_EQ(g.m_nFatSectors, 128u);
    EXPECT_EQ(g.m_nFatCount, 2);
    EXPECT_EQ(g.m_nClusterCount, 15872u);
    EXPECT_EQ(g.m_nRootCluster, 5u);
    EXPECT_EQ(g.m_nSerial, 0x6FBFF79Cu);
    EXPECT_EQ(g.m_nVolumeFlags, 3);
    EXPECT_EQ(g.m_nEvidenceFlags, 0x1FFu);
}

TEST(ResPart, TruncatedStreamFailsLoad) {
    CKivScanResPartFAT f(KIV_FS_FAT16, 512);
    CKivMemStream s;
    ASSERT_TRUE(f.Save(&s));
    auto bytes = s.Data();
    bytes.pop_back();
    CKivMemStream cut(bytes);
    CKivScanResPartFAT g(KIV_FS_NONE, 512);
    EXPECT_FALSE(g.Load(&cut));
}

TEST(Streams, MemStreamRefusesShortReadsAndKeepsCursor) {
    CKivMemStream s;
    ASSERT_TRUE(WriteLE<uint16_t>(&s, 0xBEEF));
    ASSERT_TRUE(WriteLE<int8_t>(&s, -2));
    ASSERT_TRUE(WriteLE<double>(&s, -0.25));
    EXPECT_EQ(s.Size(), 11u);
    uint16_t a = 0;
    int8_t b = 0;
    double d = 0;
    uint8_t nine[9];
    ASSERT_TRUE(ReadLE(&s, &a));
    ASSERT_TRUE(ReadLE(&s, &b));
    EXPECT_FALSE(s.Read(nine, 9));  // 8 left: nothing is consumed
    EXPECT_EQ(s.ReadPos(), 3u);
    ASSERT_TRUE(ReadLE(&s, &d));
    EXPECT_EQ(a, 0xBEEF);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(d, -0.25);
    EXPECT_FALSE(ReadLE(&s, &a));
    EXPECT_FALSE(WriteLE<uint32_t>(nullptr, 1));
}

TEST(Streams, FileStreamRoundTripsAPartition) {
    std::string path = testing::TempDir() + "model_part.bin";
    CKivScanResPartFAT f(KIV_FS_FAT32, 512);
    FillBase(f);
    f.m_nRoot = 1234;
    {
        CKivFileStream out;
        ASSERT_TRUE(KivSucceeded(out.Open(path.c_str(), true)));
        ASSERT_TRUE(f.Save(&out));
        ASSERT_TRUE(KivSucceeded(out.Close()));
    }
    CKivFileStream in;
    ASSERT_TRUE(KivSucceeded(in.Open(path.c_str(), false)));
    CKivScanResPartFAT g(KIV_FS_NONE, 512);
    ASSERT_TRUE(g.Load(&in));
    ExpectSameBase(f, g);
    EXPECT_EQ(g.m_nRoot, 1234u);
    uint8_t extra;
    EXPECT_FALSE(in.Read(&extra, 1));
    in.Close();
    std::remove(path.c_str());
    CKivFileStream none;
    EXPECT_TRUE(KivFailed(none.Open("/nonexistent-dir/x", false)));
    EXPECT_FALSE(none.Write("x", 1));
}
