// The read-ahead block cache, the 512-byte view and the recovery reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <vector>

#include "KivMemDevStor.h"
#include "Storage/CKivDevStorCache.h"
#include "Storage/CSimulateStorageDevice.h"
#include "Storage/KivRecoverStor.h"

namespace {

// Sector s of a test device holds the bytes of s, so every copy can be checked.
std::vector<uint8_t> Pattern(uint64_t nSectors, uint32_t nSectorSize = 512) {
    std::vector<uint8_t> v(nSectors * nSectorSize);
    for (uint64_t s = 0; s < nSectors; ++s)
        for (uint32_t i = 0; i < nSectorSize; i += 8) std::memcpy(&v[s * nSectorSize + i], &s, 8);
    return v;
}

bool HoldsSectors(const uint8_t* p, uint64_t nFirst, uint64_t nCount, uint32_t nSectorSize = 512) {
    for (uint64_t k = 0; k < nCount; ++k) {
        uint64_t v;
        std::memcpy(&v, p + k * nSectorSize + nSectorSize - 8, 8);
        if (v != nFirst + k) return false;
    }
    return true;
}

// A device that counts how often each sector is read, safe for the producer thread and the
// consumer, and can be slowed down or made to fail.
class CountingStor : public KivMemDevStor {
public:
    using KivMemDevStor::KivMemDevStor;
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override {
        if (m_delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
        std::lock_guard<std::mutex> g(m_mtx);
        if (nFirst < GetSectorCount())
            for (uint64_t s = nFirst; s < nFirst + nCount && s < GetSectorCount(); ++s) ++m_perSector[s];
        if (nFlags & KIV_READ_RETRY_UNTRIED) ++m_nRetryReads;
        return KivMemDevStor::ReadSectorsEx(pBuf, nFirst, nCount, nFlags, pBad);
    }
    void ResetCounts() {
        std::lock_guard<std::mutex> g(m_mtx);
        m_perSector.assign(GetSectorCount(), 0);
        m_nReads = 0;
    }
    std::vector<int> m_perSector = std::vector<int>(GetSectorCount(), 0);
    std::mutex m_mtx;
    int m_delayMs = 0;
    uint64_t m_nRetryReads = 0;
};

struct CacheFixture : ::testing::Test {
    void Make(uint64_t nSectors, uint32_t nBlock) {
        dev = new CountingStor(Pattern(nSectors));
        cache = new CKivDevStorCache(dev);
        ASSERT_EQ(cache->SetBlockSectors(nBlock), 1);
    }
    void TearDown() override {
        if (cache) cache->Release();
        if (dev) dev->Release();
    }
    CountingStor* dev = nullptr;
    CKivDevStorCache* cache = nullptr;
};

TEST_F(CacheFixture, WithoutCurrentBlockItIsTheInnerStorage) {
    Make(100, 16);
    std::vector<uint8_t> buf(10 * 512);
    EXPECT_EQ(cache->ReadSectors(buf.data(), 20, 10), 1);
    EXPECT_TRUE(HoldsSectors(buf.data(), 20, 10));
    EXPECT_EQ(cache->ReadSectors(buf.data(), 95, 10), 0);  // past the end, refused like the device
    EXPECT_EQ(cache->GetSectorCount(), 100u);
    EXPECT_EQ(cache->GetBaseStor(), nullptr);
    auto* empty = new CKivDevStorCache(nullptr);
    EXPECT_EQ(empty->GetSectorSize(), 512u);
    EXPECT_EQ(empty->Open(), 0);
    EXPECT_EQ(empty->SetCurCacheBlock(0), 0);
    empty->Release();
}

TEST_F(CacheFixture, DamagedBlocksKeepTheirListOfUnreadableSectors) {
    Make(100, 16);
    dev->AddBad(34, 36);       // in block 2 (32..47)
    dev->m_untried.insert(40);  // written off untried
    dev->AddBad(50, 51);       // in block 3
    ASSERT_EQ(cache->StartReadAhead(0), 1);
    for (int64_t i = 0; i <= 2; ++i) ASSERT_EQ(cache->SetCurCacheBlock(i), 1);
    ASSERT_EQ(cache->GetCurBlockBad().size(), 2u);
    EXPECT_EQ(cache->GetCurBlockBad()[0].nFirst, 34u);
    EXPECT_EQ(cache->GetCurBlockBad()[1].nKind, KIV_BAD_UNTRIED);

    // Served partly from the block, partly from the device: one sorted list, clipped to the request.
    std::vector<uint8_t> buf(20 * 512, 0xAA);
    KivBadRanges bad;
    dev->ResetCounts();
    ASSERT_EQ(cache->ReadSectorsEx(buf.data(), 35, 20, 0, &bad), 1);
    ASSERT_EQ(bad.size(), 3u);
    EXPECT_EQ(bad[0].nFirst, 35u);
    EXPECT_EQ(bad[0].nEnd, 36u);
    EXPECT_EQ(bad[1].nFirst, 40u);
    EXPECT_EQ(bad[2].nFirst, 50u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_TRUE(HoldsSectors(buf.data() + 512, 36, 4));
    EXPECT_EQ(dev->m_perSector[40], 0);  // from the block
    // A plain read gives the same bytes; asking for a retry of untried sectors goes to the device.
    ASSERT_EQ(cache->ReadSectorsEx(buf.data(), 38, 4, KIV_READ_RETRY_UNTRIED, &bad), 1);
    EXPECT_TRUE(bad.empty());
    EXPECT_TRUE(HoldsSectors(buf.data(), 38, 4));
    EXPECT_EQ(dev->m_nRetryReads, 1u);
    cache->StopReadAhead();
}

TEST_F(CacheFixture, RequestsAroundTheCurrentBlock) {
    Make(100, 16);
    ASSERT_EQ(cache->SetCurCacheBlock(2), 1);  // sectors 32..47
    std::vector<uint8_t> buf(40 * 512);
    dev->ResetCounts();

    // Inside: one copy, no device access.
    EXPECT_EQ(cache->ReadSectors(buf.data(), 40, 8), 1);
    EXPECT_TRUE(HoldsSectors(buf.data(), 40, 8));
    EXPECT_EQ(dev->m_nReads, 0u);

    // Straddling the block end: the block part from memory, the rest from the device in one call.
    EXPECT_EQ(cache->ReadSectors(buf.data(), 44, 10), 1);
    EXPECT_TRUE(HoldsSectors(buf.data(), 44, 10));
    EXPECT_EQ(dev->m_perSector[44], 0);
    EXPECT_EQ(dev->m_perSector[48], 1);

    // Starting before the block: all from the device, even where it overlaps the block.
    dev->ResetCounts();
    EXPECT_EQ(cache->ReadSectors(buf.data(), 28, 10), 1);
    EXPECT_TRUE(HoldsSectors(buf.data(), 28, 10));
    EXPECT_EQ(dev->m_perSector[28], 1);
    EXPECT_EQ(dev->m_perSector[35], 1);

    // Before and through the whole block and beyond.
    EXPECT_EQ(cache->ReadSectors(buf.data(), 30, 40), 1);
    EXPECT_TRUE(HoldsSectors(buf.data(), 30, 40));

    // A failing device read is reported even when part of the request came from the block.
    dev->m_bFail = true;
    EXPECT_EQ(cache->ReadSectors(buf.data(), 44, 10), 0);
    EXPECT_EQ(cache->ReadSectors(buf.data(), 32, 16), 1);  // wholly inside: no device needed
}

TEST_F(CacheFixture, PartialLastBlock) {
    Make(100, 16);  // blocks 0..6, the last holds sectors 96..99
    EXPECT_TRUE(cache->IsBlockIndexValid(6));
    EXPECT_FALSE(cache->IsBlockIndexValid(7));
    EXPECT_FALSE(cache->IsBlockIndexValid(-1));
    EXPECT_EQ(cache->SetCurCacheBlock(7), 0);
    ASSERT_EQ(cache->SetCurCacheBlock(6), 1);
    std::vector<uint8_t> buf(16 * 512);
    EXPECT_EQ(cache->ReadSectors(buf.data(), 96, 4), 1);
    EXPECT_TRUE(HoldsSectors(buf.data(), 96, 4));
    // Sectors the block has room for but the device does not hold are not served from it.
    EXPECT_EQ(cache->ReadSectors(buf.data(), 98, 4), 0);
}

// The scan thread's loop: every block, in order, through the read-ahead.
void ScanAll(CKivDevStorCache* cache, uint64_t nSectors, uint32_t nBlock, int64_t nStartBlock = 0,
             int64_t nBlocks = INT64_MAX) {
    std::vector<uint8_t> buf(uint64_t(nBlock) * 512);
    for (int64_t i = nStartBlock; cache->IsBlockIndexValid(i) && i - nStartBlock < nBlocks; ++i) {
        ASSERT_EQ(cache->SetCurCacheBlock(i), 1);
        uint64_t first = uint64_t(i) * nBlock;
        uint64_t n = std::min<uint64_t>(nBlock, nSectors - first);
        ASSERT_EQ(cache->ReadSectors(buf.data(), first, n), 1);
        ASSERT_TRUE(HoldsSectors(buf.data(), first, n)) << "block " << i;
    }
}

TEST_F(CacheFixture, BlockByBlockScanReadsEverySectorOnce) {
    for (uint64_t nSectors : {1000ull, 1003ull, 5ull, 16ull * 10, 16ull * 11 + 1}) {
        TearDown();
        Make(nSectors, 16);
        ASSERT_EQ(cache->StartReadAhead(), 1);
        ScanAll(cache, nSectors, 16);
        EXPECT_EQ(cache->StopReadAhead(), 1);
        for (uint64_t s = 0; s < nSectors; ++s) ASSERT_EQ(dev->m_perSector[s], 1) << nSectors << " sector " << s;
        cache->Release();
        dev->Release();
        cache = nullptr;
        dev = nullptr;
    }
}

TEST_F(CacheFixture, InitialFillIsBoundedByTheDevice) {
    Make(40, 16);  // three blocks, the last partial
    ASSERT_EQ(cache->StartReadAhead(), 1);
    ScanAll(cache, 40, 16);
    EXPECT_EQ(dev->m_nReads, 3u);  // nothing past the end
    cache->StopReadAhead();
}

TEST_F(CacheFixture, StopIsHeardWhileASlowDeviceIsRead) {
    Make(8192 * 20, 8192);  // 4 MiB blocks, each read in 1 MiB pieces
    dev->m_delayMs = 20;
    std::atomic<bool> stop{false};
    cache->SetStopCheck([&] { return stop.load(); });
    ASSERT_EQ(cache->StartReadAhead(), 1);  // returns at once: all reads are the producer's
    ASSERT_EQ(cache->SetCurCacheBlock(0), 1);
    stop = true;
    EXPECT_EQ(cache->SetCurCacheBlock(1), 0);  // asked while the producer reads: no wait for it
    cache->StopReadAhead();
    uint64_t nRead = 0;
    for (int n : dev->m_perSector) nRead += n;
    EXPECT_LE(nRead, 8192u * 3);  // never the ten blocks of a synchronous start
}

TEST_F(CacheFixture, StorageThatCannotBeOpenedIsNotUsed) {
    struct Shut : CountingStor {
        using CountingStor::CountingStor;
        int Open() override { return 0; }
    };
    auto* pShut = new Shut(Pattern(64));
    auto* pCache = new CKivDevStorCache(pShut);
    EXPECT_FALSE(pCache->IsReady());
    EXPECT_EQ(pCache->SetBlockSectors(16), 0);
    EXPECT_EQ(pCache->StartReadAhead(), 0);
    std::vector<uint8_t> buf(512);
    EXPECT_EQ(pCache->ReadSectors(buf.data(), 0, 1), 0);
    EXPECT_EQ(pShut->m_nReads, 0u);
    pCache->Release();
    pShut->Release();
    EXPECT_TRUE(cache == nullptr || cache->IsReady());
}

TEST_F(CacheFixture, ReadAheadStartsAtTheBlockOfTheStartSector) {
    Make(1000, 16);
    ASSERT_EQ(cache->StartReadAhead(16 * 5 + 3), 1);
    ScanAll(cache, 1000, 16, 5);
    cache->StopReadAhead();
    EXPECT_EQ(dev->m_perSector[79], 0);
    for (uint64_t s = 80; s < 1000; ++s) ASSERT_EQ(dev->m_perSector[s], 1) << s;
}

TEST_F(CacheFixture, JumpsAreServedCorrectly) {
    Make(1000, 16);
    ASSERT_EQ(cache->StartReadAhead(), 1);
    std::vector<uint8_t> buf(16 * 512);
    for (int64_t i : {0, 1, 5, 2, 40, 41, 3, 62, 61, 62}) {
        ASSERT_EQ(cache->SetCurCacheBlock(i), 1);
        ASSERT_EQ(cache->ReadSectors(buf.data(), uint64_t(i) * 16, std::min<uint64_t>(16, 1000 - i * 16)), 1);
        ASSERT_TRUE(HoldsSectors(buf.data(), uint64_t(i) * 16, std::min<uint64_t>(16, 1000 - i * 16))) << i;
    }
    cache->StopReadAhead();
    // The read-ahead followed the jump to block 40 instead of reading the gap before it.
    EXPECT_EQ(dev->m_perSector[16 * 30], 0);
}

TEST_F(CacheFixture, StopReturnsWhileTheProducerWaitsForSpaceOrReads) {
    Make(100000, 16);
    ASSERT_EQ(cache->StartReadAhead(), 1);
    ScanAll(cache, 100000, 16, 0, 3);  // consume a few blocks, then leave the queue full
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto f = std::async(std::launch::async, [&] { return cache->StopReadAhead(); });
    ASSERT_EQ(f.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(f.get(), 1);
    uint64_t readAhead = 0;
    for (int n : dev->m_perSector) readAhead += n;
    EXPECT_LE(readAhead, 16u * (3 + 12));  // never more than the queue limit ahead

    // Stop while a slow device read is in flight, then start again: no hang, correct data.
    dev->m_delayMs = 30;
    ASSERT_EQ(cache->StartReadAhead(), 1);
    ASSERT_EQ(cache->SetCurCacheBlock(0), 1);
    EXPECT_EQ(cache->StopReadAhead(), 1);
    EXPECT_EQ(cache->StopReadAhead(), 1);  // twice is harmless
    dev->m_delayMs = 0;
    ASSERT_EQ(cache->SetCurCacheBlock(1), 1);  // without read-ahead the block is read when asked
    std::vector<uint8_t> buf(16 * 512);
    ASSERT_EQ(cache->ReadSectors(buf.data(), 16, 16), 1);
    EXPECT_TRUE(HoldsSectors(buf.data(), 16, 16));
}

TEST_F(CacheFixture, UnreadableBlocksAreSeenAsZeros) {
    Make(64, 16);
    dev->m_bFail = true;
    ASSERT_EQ(cache->StartReadAhead(), 1);
    ASSERT_EQ(cache->SetCurCacheBlock(0), 1);
    std::vector<uint8_t> buf(16 * 512, 0xAA);
    ASSERT_EQ(cache->ReadSectors(buf.data(), 0, 16), 1);
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0), static_cast<long>(buf.size()));
    cache->StopReadAhead();
}

TEST(SimulateTest, FourKiBSectorsSeenAsFiveHundredTwelve) {
    auto* dev = new CountingStor(Pattern(10, 4096), 4096);
    auto* view = new CSimulateStorageDevice(dev);
    EXPECT_EQ(view->GetSectorSize(), 512u);
    EXPECT_EQ(view->GetSectorCount(), 80u);
    EXPECT_EQ(view->GetBaseStor(), dev);
    std::vector<uint8_t> buf(8 * 512);
    for (uint64_t s = 0; s < 8; ++s) ASSERT_EQ(view->ReadSectors(buf.data() + s * 512, s, 1), 1);
    EXPECT_EQ(dev->m_nReads, 1u);  // inner sector 0, once
    EXPECT_EQ(std::memcmp(buf.data(), dev->m_data.data(), 4096), 0);

    // Unaligned runs across inner sectors.
    std::vector<uint8_t> big(20 * 512);
    ASSERT_EQ(view->ReadSectors(big.data(), 5, 20), 1);
    EXPECT_EQ(std::memcmp(big.data(), dev->m_data.data() + 5 * 512, 20 * 512), 0);
    EXPECT_EQ(view->ReadSectors(big.data(), 75, 6), 0);  // past the end
    dev->m_bFail = true;
    EXPECT_EQ(view->ReadSectors(big.data(), 40, 1), 0);
    view->Release();
    dev->Release();
}

TEST(SimulateTest, UnreadableInnerSectorsAreListedAndNeverKept) {
    auto* dev = new KivMemDevStor(Pattern(10, 4096), 4096);
    dev->AddBad(3, 4);  // inner sector 3: 512-byte sectors 24 to 31
    auto* view = new CSimulateStorageDevice(dev);
    std::vector<uint8_t> buf(20 * 512, 0xAA);
    KivBadRanges bad;
    // Unaligned, across the bad inner sector: only its part of the request is listed.
    ASSERT_EQ(view->ReadSectorsEx(buf.data(), 20, 20, 0, &bad), 1);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].nFirst, 24u);
    EXPECT_EQ(bad[0].nEnd, 32u);
    EXPECT_EQ(bad[0].nKind, KIV_BAD_FAILED);
    EXPECT_EQ(std::memcmp(buf.data(), dev->m_data.data() + 20 * 512, 4 * 512), 0);
    EXPECT_EQ(std::count(buf.begin() + 4 * 512, buf.begin() + 12 * 512, 0), 8 * 512);
    EXPECT_EQ(std::memcmp(buf.data() + 12 * 512, dev->m_data.data() + 32 * 512, 8 * 512), 0);
    // Single sectors inside it: zeros, listed every time (the zeros are not held as data).
    for (uint64_t s = 25; s < 27; ++s) {
        ASSERT_EQ(view->ReadSectorsEx(buf.data(), s, 1, 0, &bad), 1);
        ASSERT_EQ(bad.size(), 1u) << s;
        EXPECT_EQ(bad[0].nFirst, s);
    }
    // Whole inner sectors ending in the bad one, then a read inside it.
    ASSERT_EQ(view->ReadSectorsEx(buf.data(), 16, 16, 0, &bad), 1);
    ASSERT_EQ(bad.size(), 1u);
    ASSERT_EQ(view->ReadSectorsEx(buf.data(), 30, 1, 0, &bad), 1);
    EXPECT_EQ(bad.size(), 1u);
    view->Release();
    dev->Release();
}

TEST(RecoverStorTest, SameDeviceOrOneKeptView) {
    auto* small = new KivMemDevStor(Pattern(4));
    EXPECT_EQ(GetRecoverStor(small), small);
    EXPECT_EQ(small->m_pRecoverView, nullptr);
    small->Release();

    auto* dev = new KivMemDevStor(Pattern(4, 4096), 4096);
    IKivDevStor* v = GetRecoverStor(dev);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetSectorSize(), 512u);
    EXPECT_EQ(v->GetBaseStor(), dev);
    EXPECT_EQ(GetRecoverStor(dev), v);
    EXPECT_EQ(GetRecoverStor(nullptr), nullptr);
    dev->Release();  // frees the view with it
}

}  // namespace
