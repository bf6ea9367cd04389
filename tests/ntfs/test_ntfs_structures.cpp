// Boot sectors, fix-ups, mapping pairs and candidates, on hand-made bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "KivPutLE.h"
#include "Ntfs/CKivNtfsBootSector.h"
#include "Ntfs/CKivNtfsCandidateMap.h"
#include "Ntfs/CKivNtfsFileRecord.h"
#include "Ntfs/KivNtfsRuns.h"

namespace {

std::vector<uint8_t> BootSector(uint16_t bps, uint8_t spc, uint64_t total) {
    std::vector<uint8_t> b(512, 0);
    std::memcpy(&b[3], "NTFS    ", 8);
    std::memcpy(&b[11], &bps, 2);
    b[13] = spc;
    std::memcpy(&b[40], &total, 8);
    uint64_t mft = 4, mirr = 2;
    std::memcpy(&b[48], &mft, 8);
    std::memcpy(&b[56], &mirr, 8);
    b[64] = 0xF6;  // 2^10-byte records
    b[510] = 0x55;
    b[511] = 0xAA;
    return b;
}


// A 1024-byte record with fix-ups applied as on disk, holding one resident $DATA of n bytes.
std::vector<uint8_t> Record(size_t dataLen) {
    std::vector<uint8_t> r(1024, 0);
    std::memcpy(&r[0], "FILE", 4);
    Put16(r, 4, 0x30);  // update sequence array
    Put16(r, 6, 3);
    Put16(r, 20, 0x38);  // first attribute
    Put16(r, 22, 1);     // in use
    Put32(r, 28, 1024);
    size_t a = 0x38, len = (24 + dataLen + 7) / 8 * 8;
    Put32(r, a, 0x80);
    Put32(r, a + 4, uint32_t(len));
    Put32(r, a + 16, uint32_t(dataLen));
    Put16(r, a + 20, 24);
    for (size_t i = 0; i < dataLen; ++i) r[a + 24 + i] = uint8_t(i + 1);
    Put32(r, a + len, 0xFFFFFFFF);
    Put32(r, 24, uint32_t(a + len + 8));
    // Move the last two bytes of each 512-byte stride into the array, put the check value there.
    Put16(r, 0x30, 0xBEEF);
    for (int s = 0; s < 2; ++s) {
        r[0x32 + 2 * s] = r[s * 512 + 510];
        r[0x33 + 2 * s] = r[s * 512 + 511];
        Put16(r, s * 512 + 510, 0xBEEF);
    }
    return r;
}

}  // namespace

TEST(NtfsBootSector, AcceptsSoundGeometryAndRejectsTheRest) {
    KivNtfsBootSector bs;
    EXPECT_TRUE(KivParseNtfsBootSector(BootSector(512, 8, 1000), &bs));
    EXPECT_EQ(bs.RecordBytes(), 1024u);
    EXPECT_TRUE(KivParseNtfsBootSector(BootSector(4096, 1, 1000), &bs));
    EXPECT_FALSE(KivParseNtfsBootSector(BootSector(520, 8, 1000), &bs));
    EXPECT_FALSE(KivParseNtfsBootSector(BootSector(512, 3, 1000), &bs));
    auto b = BootSector(512, 8, 1000);
    b[32] = 1;  // the 32-bit total-sector field must be unused
    EXPECT_FALSE(KivParseNtfsBootSector(b, &bs));
    b = BootSector(512, 8, 1000);
    std::memcpy(&b[3], "ntfs    ", 8);  // the name is compared ignoring case
    EXPECT_TRUE(KivParseNtfsBootSector(b, &bs));
    b[511] = 0;
    EXPECT_FALSE(KivParseNtfsBootSector(b, &bs));
    EXPECT_FALSE(KivParseNtfsBootSector(std::span<const uint8_t>(b.data(), 100), &bs));
}

TEST(NtfsFileRecord, FixupsRestoreTheStrideEndsAndCatchTornWrites) {
    auto r = Record(600);  // the data crosses the first stride end
    CKivNtfsFileRecord rec;
    ASSERT_TRUE(rec.Parse(r));
    ASSERT_EQ(rec.Attributes().size(), 1u);
    const auto& a = rec.Attributes()[0];
    ASSERT_EQ(a.value.size(), 600u);
    for (size_t i = 0; i < 600; ++i) ASSERT_EQ(a.value[i], uint8_t(i + 1)) << i;

    auto torn = r;
    torn[1022] ^= 1;  // a stride whose check value no longer matches
    EXPECT_FALSE(rec.Parse(torn));
    auto bigArray = r;
    Put16(bigArray, 6, 40);  // more strides than the record has
    EXPECT_FALSE(rec.Parse(bigArray));
    auto outside = r;
    Put16(outside, 4, 1020);  // the array runs past the record
    EXPECT_FALSE(rec.Parse(outside));
    EXPECT_FALSE(rec.Parse(std::span<const uint8_t>(r.data(), 600)));  // shorter than it says
}

TEST(NtfsFileRecord, AttributesRunningPastTheRecordEndTheList) {
    auto r = Record(16);
    Put32(r, 0x38 + 4, 4000);  // length beyond the record: the attribute is dropped, no crash
    CKivNtfsFileRecord rec;
    ASSERT_TRUE(rec.Parse(r));
    EXPECT_TRUE(rec.Attributes().empty());
    auto zero = Record(16);
    Put32(zero, 0x38 + 4, 0);  // a zero length would loop forever
    ASSERT_TRUE(rec.Parse(zero));
    EXPECT_TRUE(rec.Attributes().empty());
}

TEST(NtfsRuns, DecodesDeltasSparseRunsAndRefusesHostilePairs) {
    // 0x21: 1-byte length, 2-byte start; then a negative delta; then a sparse run; then the end.
    const uint8_t pairs[] = {0x21, 0x10, 0x00, 0x01, 0x11, 0x08, 0xF0, 0x01, 0x04, 0x11, 0x02, 0x10, 0x00};
    std::vector<KivNtfsRun> runs;
    ASSERT_TRUE(KivNtfsDecodeRuns(pairs, 0, 0, &runs));
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].nLcn, 0x100u);
    EXPECT_EQ(runs[1].nLcn, 0xF0u);
    EXPECT_EQ(runs[2].nLcn, KIV_NTFS_SPARSE);
    EXPECT_EQ(runs[3].nLcn, 0x100u);  // the sparse run leaves the running start alone
    EXPECT_EQ(runs[3].nVcn, 0x10u + 0x08 + 0x04);
    uint64_t lcn = 0;
    EXPECT_TRUE(KivNtfsVcnToLcn(runs, 0x11, &lcn));
    EXPECT_EQ(lcn, 0xF1u);
    EXPECT_FALSE(KivNtfsVcnToLcn(runs, 0x19, &lcn));  // inside the hole

    runs.clear();
    const uint8_t negative[] = {0x11, 0x01, 0x80, 0x00};  // would start before cluster 0
    EXPECT_FALSE(KivNtfsDecodeRuns(negative, 0, 0, &runs));
    const uint8_t outside[] = {0x21, 0x10, 0x00, 0x10, 0x00};
    EXPECT_FALSE(KivNtfsDecodeRuns(outside, 0, 0x1000, &runs));  // ends past the volume
    const uint8_t truncated[] = {0x44, 0x01};
    EXPECT_FALSE(KivNtfsDecodeRuns(truncated, 0, 0, &runs));
}

TEST(NtfsCandidates, BackupBootSectorConfirmsThePrimaryAndLostPrimaryStillYieldsTheVolume) {
    KivNtfsCandidate proto;
    proto.nSecPerClus = 8;
    proto.nMftCluster = 4;
    CKivNtfsCandidateMap map;
    map.AddBootSector(2048, 100000, proto, 8191);           // primary at 2048
    map.AddBootSector(2048 + 8191, 100000, proto, 8191);    // its copy in the last sector
    ASSERT_EQ(map.Size(), 1u);  // the copy confirms its volume and starts none of its own
    auto it = map.Items().find(2048);
    ASSERT_NE(it, map.Items().end());
    EXPECT_TRUE(it->second->nMarks & KIV_NTFS_MARK_BACKED_UP);
    EXPECT_EQ(it->second->nSectorCount, 8191u);  // the volume's own count, as the device list has it
    EXPECT_EQ(it->second->nClusterCount, 1023u);  // of whole clusters

    CKivNtfsCandidateMap lost;
    lost.AddBootSector(2048 + 8191, 100000, proto, 8191);  // only the copy survived
    auto b = lost.Items().find(2048);
    ASSERT_NE(b, lost.Items().end());
    EXPECT_EQ(b->second->nMarks, uint32_t(KIV_NTFS_MARK_BACKUP));
    // Without its primary the copy is also taken as a volume of its own, which selection leaves
    // out when no tree stands behind it.
    EXPECT_EQ(lost.Size(), 2u);
    // A volume cut by the end of the device keeps its stated size beside what is left of it.
    CKivNtfsCandidateMap cut;
    cut.AddBootSector(0, 4000, proto, 8191);
    ASSERT_EQ(cut.Size(), 1u);
    EXPECT_EQ(cut.Items().begin()->second->nClusterCount, 500u);
    EXPECT_EQ(cut.Items().begin()->second->nVolumeClusters, 1023u);

    CKivNtfsCandidateMap byCluster;
    byCluster.AddByCluster(5000, 100, 0, 100000, KIV_NTFS_MARK_RECORDS);
    EXPECT_EQ(byCluster.Size(), 6u);  // one per cluster size that fits before sector 5000 (1..32)
    byCluster.AddByCluster(5000, 100, 0, 100000, KIV_NTFS_MARK_RECORDS);
    EXPECT_EQ(byCluster.Size(), 6u);  // equal candidates are not added twice
    byCluster.AddByCluster(5, 0, 8, 100000, KIV_NTFS_MARK_RECORDS);
    EXPECT_EQ(byCluster.Size(), 6u);  // fewer than 8 sectors before it: dropped
}
