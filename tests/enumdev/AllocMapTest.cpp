// The allocation maps of sparse containers read from hand-made files: what a hostile table costs,
// and when a map must not be believed.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "CKivAllocMap.h"
#include "KivAllocCounter.h"
#include "KivPutLE.h"
#include "KivTempDirTest.h"

namespace {

void PutBE(std::vector<uint8_t>& b, size_t at, uint64_t v, int nBytes) {
    for (int i = 0; i < nBytes; ++i) b[at + i] = uint8_t(v >> (8 * (nBytes - 1 - i)));
}

class AllocMap : public KivTempDirTest {
protected:
    AllocMap() : KivTempDirTest("kiv-allocmap-") {}

    std::string Write(const char* pszName, const std::vector<uint8_t>& bytes) {
        std::string path = m_dir + "/" + pszName;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    // A dynamic VHD of 4 KiB blocks whose table of nEntries lies at nTable; entry 1 is stored.
    static std::vector<uint8_t> Vhd(uint32_t nEntries, uint64_t nTable) {
        std::vector<uint8_t> f(3072, 0);
        std::memcpy(&f[512], "cxsparse", 8);
        PutBE(f, 512 + 16, nTable, 8);
        PutBE(f, 512 + 28, nEntries, 4);
        PutBE(f, 512 + 32, 4096, 4);
        for (size_t i = 0; i < 4; ++i) PutBE(f, 1536 + 4 * i, i == 1 ? 7 : 0xffffffffu, 4);
        std::memcpy(&f[2560], "conectix", 8);
        PutBE(f, 2560 + 16, 512, 8);
        PutBE(f, 2560 + 60, 3, 4);
        return f;
    }
};

TEST_F(AllocMap, ATableThatTheFileCannotHoldIsRefusedBeforeItIsAllocated) {
    auto p = CKivAllocMap::Read({Write("ok.vhd", Vhd(4, 1536))}, CKivAllocMap::kVhd, 16384);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->StoredBlocks(), 1u);

    // 64 Mi entries claimed in a file of 3 KiB: 256 MiB that no read could fill.
    const std::string big = Write("big.vhd", Vhd(64u << 20, 1536));
    kiv_alloc::ResetPeak();
    EXPECT_FALSE(CKivAllocMap::Read({big}, CKivAllocMap::kVhd, 16384));
    EXPECT_LT(kiv_alloc::PeakSinceReset(), 1u << 20);
}

TEST_F(AllocMap, VmdkGrainTablesAreReadWithinTheFileSize) {
    // A 1 GiB disk of 4 KiB grains: 512 directory entries at sector 1, grain tables at sector 5.
    auto vmdk = [](uint32_t nNamed) {
        std::vector<uint8_t> f(5 * 512 + 2048, 0);
        std::memcpy(f.data(), "KDMV", 4);
        Put64(f, 12, (1ull << 30) / 512);
        Put64(f, 20, 8);
        Put32(f, 44, 512);
        Put64(f, 56, 1);
        for (uint32_t i = 0; i < nNamed; ++i) Put32(f, 512 + 4 * i, 5);
        Put32(f, 5 * 512 + 4 * 3, 100);  // grain 3 stored
        return f;
    };
    auto p = CKivAllocMap::Read({Write("one.vmdk", vmdk(1))}, CKivAllocMap::kVmdk, 1ull << 30);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->StoredBlocks(), 1u);
    // Every entry naming the one table: more tables than the file holds is no map.
    EXPECT_FALSE(CKivAllocMap::Read({Write("all.vmdk", vmdk(512))}, CKivAllocMap::kVmdk, 1ull << 30));
}

TEST_F(AllocMap, AVhdxWithALogToReplayHasNoMap) {
    using G = CKivAllocMap::VhdxGuids;
    // 4 MiB disk of 1 MiB blocks; the table at 1 MiB says block 1 is fully present.
    std::vector<uint8_t> f((1u << 20) + 4096, 0);
    for (size_t h : {64u << 10, 128u << 10}) std::memcpy(&f[h], "head", 4);
    const size_t reg = 192u << 10, meta = 320u << 10;
    std::memcpy(&f[reg], "regi", 4);
    Put32(f, reg + 8, 2);
    std::memcpy(&f[reg + 16], G::kBat, 16);
    Put64(f, reg + 32, 1u << 20);
    Put32(f, reg + 40, 4096);
    std::memcpy(&f[reg + 48], G::kMeta, 16);
    Put64(f, reg + 64, meta);
    Put32(f, reg + 72, 64u << 10);
    std::memcpy(&f[meta], "metadata", 8);
    Put16(f, meta + 10, 2);
    std::memcpy(&f[meta + 32], G::kFileParams, 16);
    Put32(f, meta + 48, 0x1000);
    std::memcpy(&f[meta + 64], G::kSectorSize, 16);
    Put32(f, meta + 80, 0x1010);
    Put32(f, meta + 0x1000, 1u << 20);
    Put32(f, meta + 0x1010, 512);
    Put64(f, (1u << 20) + 8, 6);

    auto p = CKivAllocMap::Read({Write("clean.vhdx", f)}, CKivAllocMap::kVhdx, 4u << 20);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->StoredBlocks(), 1u);
    f[(128u << 10) + 50] = 0x5a;  // the second header names a log
    EXPECT_FALSE(CKivAllocMap::Read({Write("dirty.vhdx", f)}, CKivAllocMap::kVhdx, 4u << 20));
}

}  // namespace
