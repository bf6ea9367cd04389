// The engine's lifecycle, the scan pass (blocks, counters, cancel, stop, failing
// scanners) and the tree request.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

#include "CKivScanDev.h"
#include "CountingScanner.h"
#include "KivMemDevStor.h"
#include "ScanEngineRig.h"

using namespace engine_test;

TEST(ScanEngine, LifecycleStatesAndArguments) {
    Rig rig(16);
    RecordingCallback cb;
    EXPECT_EQ(KivErrNo(rig.pEngine->Uninit()), KIV_E_INITSTATE);
    EXPECT_EQ(KivErrNo(rig.pEngine->DoScan(nullptr, &cb)), KIV_E_INITSTATE);
    EXPECT_EQ(KivErrNo(rig.pEngine->WaitForScanEnd(0)), KIV_E_INITSTATE);
    EXPECT_EQ(KivErrNo(rig.pEngine->Init(nullptr)), KIV_E_INVALIDARG);

    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    EXPECT_EQ(KivErrNo(rig.pEngine->Init(rig.pDev)), KIV_E_INITSTATE);
    EXPECT_EQ(rig.pEngine->WaitForScanEnd(0), KIV_OK);  // no scan yet
    EXPECT_EQ(KivErrNo(rig.pEngine->DoScan(nullptr, nullptr)), KIV_E_INVALIDARG);
    EXPECT_EQ(rig.scanners[0]->m_nBegin, 0);  // nothing started
    EXPECT_EQ(KivErrNo(rig.pEngine->WaitForRecoverEnd(0)), KIV_E_STATE);
    EXPECT_EQ(rig.pEngine->Uninit(), KIV_OK);
    EXPECT_EQ(KivErrNo(rig.pEngine->Uninit()), KIV_E_INITSTATE);
    // A second Init after Uninit makes fresh scanners from the makers.
    EXPECT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
}

TEST(ScanEngine, BlocksOfFourMebibytesWithShortLastBlock) {
    Rig rig(8193, 2);
    for (CountingScanner* p : rig.scanners) p->m_bReadBlock = true;
    RecordingCallback cb;
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    ASSERT_EQ(rig.Scan(&cb), KIV_OK);

    EXPECT_EQ(cb.nRanges, 1);
    EXPECT_EQ(cb.nLow, 0u);
    EXPECT_EQ(cb.nHigh, 2u);
    EXPECT_EQ(cb.positions, (std::vector<uint64_t>{1, 2}));
    EXPECT_EQ(cb.nEnds, 1);
    for (CountingScanner* p : rig.scanners) {
        EXPECT_EQ(p->m_nBlockSectors, 8192u);
        EXPECT_EQ(p->m_nBegin, 1);
        EXPECT_EQ(p->m_nEnd, 1);
        ASSERT_EQ(p->m_calls.size(), 2u);
        EXPECT_EQ(p->m_calls[0].nFirst, 0u);
        EXPECT_EQ(p->m_calls[0].nCount, 8192u);
        EXPECT_EQ(p->m_calls[1].nFirst, 8192u);
        EXPECT_EQ(p->m_calls[1].nCount, 1u);
        // Every scanner saw the right block's bytes through the cache.
        EXPECT_TRUE(p->m_bReadOk);
        EXPECT_EQ(p->m_firstBytes, (std::vector<uint8_t>{1, 2}));
        EXPECT_NE(p->m_pRawList, nullptr);
    }
    EXPECT_EQ(rig.scanners[0]->m_pRawList, rig.scanners[1]->m_pRawList);
    // The device was read once, not once per scanner.
    EXPECT_EQ(rig.pDev->m_nSectorsRead, 8193u);
}

TEST(ScanEngine, PerBlockCountersResetOthersAccumulate) {
    Rig rig(8192 * 3);
    RecordingCallback cb;
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    ASSERT_EQ(rig.Scan(&cb), KIV_OK);
    const std::vector<uint64_t>& seen = rig.scanners[0]->m_statsSeen;
    ASSERT_EQ(seen.size(), 3u * KIV_SCAN_STAT_COUNT);
    const uint64_t* pThird = &seen[2 * KIV_SCAN_STAT_COUNT];
    for (int i = 0; i < KIV_SCAN_STAT_COUNT; ++i) {
        bool bPerBlock = i == 8 || i == 9 || i == 11 || i == 14 || i == 15;
        EXPECT_EQ(pThird[i], bPerBlock ? 0u : 2u) << "counter " << i;
    }
    EXPECT_EQ(cb.items, (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(rig.pEngine->GetScanStats()[KIV_STAT_ITEMS_FOUND], 3u);
}

TEST(ScanEngine, CancelEndsWithinOneBlockAndStillReportsTheEnd) {
    Rig rig(8192 * 6);
    RecordingCallback cb;
    cb.nCancelAfter = 2;
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    ASSERT_EQ(rig.Scan(&cb), KIV_OK);
    EXPECT_EQ(cb.positions, (std::vector<uint64_t>{1, 2}));
    EXPECT_EQ(rig.scanners[0]->m_calls.size(), 2u);
    EXPECT_EQ(rig.scanners[0]->m_nEnd, 1);
    EXPECT_EQ(cb.nEnds, 1);
}

TEST(ScanEngine, StopScanFromOutsideWaitsForTheThread) {
    Rig rig(8192 * 8);
    RecordingCallback cb;
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    rig.scanners[0]->m_bHold = true;
    ASSERT_EQ(rig.pEngine->DoScan(nullptr, &cb), KIV_OK);
    EXPECT_EQ(KivErrNo(rig.pEngine->WaitForScanEnd(20)), KIV_E_TIMEOUT);
    // A second scan is refused while one runs.
    RecordingCallback cb2;
    EXPECT_EQ(KivErrNo(rig.pEngine->DoScan(nullptr, &cb2)), KIV_E_STATE);
    // Results are not asked for while the pass still runs.
    std::vector<CKivScanResPart*> parts;
    EXPECT_EQ(KivErrNo(rig.pEngine->EnumResParts(&parts)), KIV_E_STATE);
    TreeCallback tcb;
    IKivFsNode* pRoot = nullptr;
    EXPECT_EQ(KivErrNo(rig.pEngine->EnumResFiles(0, &parts, &tcb, &pRoot)), KIV_E_STATE);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        rig.scanners[0]->m_bHold = false;
    });
    EXPECT_EQ(rig.pEngine->StopScan(), KIV_OK);
    release.join();
    EXPECT_EQ(cb.nEnds, 1);
    EXPECT_LT(rig.scanners[0]->m_calls.size(), 8u);
    EXPECT_EQ(rig.pEngine->WaitForScanEnd(0), KIV_OK);
    // Uninit of a stopped engine and a new scan after a finished one both work.
    RecordingCallback cb3;
    ASSERT_EQ(rig.Scan(&cb3), KIV_OK);
    EXPECT_EQ(cb3.positions.size(), 8u);
}

TEST(ScanEngine, ThrowingOrFailingScannerLeavesTheBlockToTheOthers) {
    Rig rig(8192 * 3, 2);
    rig.scanners[0]->m_nThrowOnCall = 1;  // second block
    rig.scanners[0]->m_failOnCalls = {2};
    RecordingCallback cb;
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    ASSERT_EQ(rig.Scan(&cb), KIV_OK);
    EXPECT_EQ(rig.scanners[0]->m_calls.size(), 3u);
    // The scanner after it still sees every block.
    ASSERT_EQ(rig.scanners[1]->m_calls.size(), 3u);
    EXPECT_EQ(rig.scanners[1]->m_calls[1].nFirst, 8192u);
    EXPECT_EQ(cb.positions, (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(rig.pEngine->FailedAnalyses(), 2u);
    EXPECT_TRUE(rig.pEngine->ScanCompleted());
}

TEST(ScanEngine, ScannerThatCannotBeginStopsThePassBeforeAnyBlock) {
    Rig rig(8192 * 2, 2);
    rig.scanners[1]->m_nBeginResult = KIV_E_NOOBJ;
    RecordingCallback cb;
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    ASSERT_EQ(rig.Scan(&cb), KIV_OK);
    EXPECT_TRUE(rig.scanners[0]->m_calls.empty());
    EXPECT_TRUE(rig.scanners[1]->m_calls.empty());
    EXPECT_EQ(rig.scanners[0]->m_nEnd, 1);  // what began is wound up
    EXPECT_EQ(cb.nEnds, 1);
    EXPECT_FALSE(rig.pEngine->ScanCompleted());
}

TEST(ScanEngine, DeviceThatCannotBeOpenedGivesNoPass) {
    struct Shut : KivMemDevStor {
        using KivMemDevStor::KivMemDevStor;
        int Open() override { return 0; }
    };
    auto* pDev = new Shut(std::vector<uint8_t>(8192 * 512));
    auto* pScanner = new CountingScanner;
    auto* pEngine = new CKivScanDev(std::vector<CKivScanDev::ScannerMaker>{[pScanner] { return pScanner; }});
    ASSERT_EQ(pEngine->Init(pDev), KIV_OK);
    RecordingCallback cb;
    ASSERT_EQ(pEngine->DoScan(nullptr, &cb), KIV_OK);
    ASSERT_EQ(pEngine->WaitForScanEnd(0), KIV_OK);
    EXPECT_EQ(pScanner->m_nBegin, 0);
    EXPECT_TRUE(cb.positions.empty());
    EXPECT_EQ(cb.nEnds, 1);
    EXPECT_FALSE(pEngine->ScanCompleted());
    pEngine->Release();
    pDev->Release();
}

TEST(ScanEngine, MissingScannersAreSkipped) {
    auto* pDev = new KivMemDevStor(std::vector<uint8_t>(8192 * 512));
    auto* pScanner = new CountingScanner;
    std::vector<CKivScanDev::ScannerMaker> makers{[] { return static_cast<IKivFsScanner*>(nullptr); },
                                                  [pScanner] { return pScanner; },
                                                  [] { return static_cast<IKivFsScanner*>(nullptr); }};
    auto* pEngine = new CKivScanDev(std::move(makers));
    ASSERT_EQ(pEngine->Init(pDev), KIV_OK);
    RecordingCallback cb;
    ASSERT_EQ(pEngine->DoScan(nullptr, &cb), KIV_OK);
    ASSERT_EQ(pEngine->WaitForScanEnd(0), KIV_OK);
    EXPECT_EQ(cb.positions, (std::vector<uint64_t>{1}));
    EXPECT_EQ(pScanner->m_calls.size(), 1u);
    pEngine->Release();  // releases the scanner too
    pDev->Release();

    // No scanner at all still makes a complete pass.
    pDev = new KivMemDevStor(std::vector<uint8_t>(8192 * 512 * 2));
    pEngine = new CKivScanDev(std::vector<CKivScanDev::ScannerMaker>{});
    ASSERT_EQ(pEngine->Init(pDev), KIV_OK);
    RecordingCallback cb2;
    ASSERT_EQ(pEngine->DoScan(nullptr, &cb2), KIV_OK);
    ASSERT_EQ(pEngine->WaitForScanEnd(0), KIV_OK);
    EXPECT_EQ(cb2.positions, (std::vector<uint64_t>{1, 2}));
    EXPECT_EQ(cb2.nEnds, 1);
    pEngine->Release();
    pDev->Release();
}

TEST(ScanEngine, EnumResFilesBuildsSelectedPartitionsOnly) {
    Rig rig(8192 * 4, 2);
    rig.scanners[0]->m_handled = {KIV_FS_FAT32};
    rig.scanners[1]->m_handled = {KIV_FS_FAT32, KIV_FS_NTFS};
    rig.scanners[0]->m_parts = {{KIV_FS_FAT32, 0, 1000, 0, 10, 1}, {KIV_FS_NTFS, 2000, 1000, 0, 5, 1}};
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    RecordingCallback cb;
    ASSERT_EQ(rig.Scan(&cb), KIV_OK);

    TreeCallback tcb;
    IKivFsNode* pRoot = reinterpret_cast<IKivFsNode*>(1);
    std::vector<CKivScanResPart*> empty;
    EXPECT_EQ(KivErrNo(rig.pEngine->EnumResFiles(0, &empty, &tcb, &pRoot)), KIV_E_INVALIDARG);
    EXPECT_EQ(pRoot, nullptr);
    EXPECT_EQ(KivErrNo(rig.pEngine->EnumResFiles(0, &empty, nullptr, &pRoot)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(rig.pEngine->EnumResFiles(0, &empty, &tcb, nullptr)), KIV_E_INVALIDARG);

    std::vector<CKivScanResPart*> parts;
    ASSERT_EQ(rig.pEngine->EnumResParts(&parts), KIV_OK);
    ASSERT_EQ(parts.size(), 2u);
    // Selection asked each scanner whether a tree stands behind its partition; these scanners
    // answer by building it.
    EXPECT_EQ(rig.scanners[0]->m_nBuilds + rig.scanners[1]->m_nBuilds, 2);
    for (auto* s : rig.scanners) s->m_nBuilds = 0;
    for (CKivScanResPart* p : parts) p->m_nSelected = 0;
    EXPECT_EQ(KivErrNo(rig.pEngine->EnumResFiles(0, &parts, &tcb, &pRoot)), KIV_E_NOTREE);
    EXPECT_EQ(pRoot, nullptr);

    for (CKivScanResPart* p : parts) p->m_nSelected = 1;
    ASSERT_EQ(rig.pEngine->EnumResFiles(0, &parts, &tcb, &pRoot), KIV_OK);
    ASSERT_NE(pRoot, nullptr);
    EXPECT_STREQ(pRoot->GetAttr()->GetName(), "Root");
    // FAT32 went to the first scanner that handles it, NTFS to the second.
    EXPECT_EQ(rig.scanners[0]->m_nBuilds, 1);
    EXPECT_EQ(rig.scanners[1]->m_nBuilds, 1);
    int nChildren = 0;
    for (IKivFileNode* p = pRoot->GetFirstChild(); p; p = p->GetNextSibling()) ++nChildren;
    EXPECT_EQ(nChildren, 2);
    pRoot->Release();

    // A builder that answers nothing leaves no tree.
    for (CountingScanner* p : rig.scanners) p->m_bBuild = false;
    EXPECT_EQ(KivErrNo(rig.pEngine->EnumResFiles(0, &parts, &tcb, &pRoot)), KIV_E_NOTREE);
    for (CKivScanResPart* p : parts) delete p;
}

