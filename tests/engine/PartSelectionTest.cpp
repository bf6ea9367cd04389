// Scoring, selection and the whole-device rule over hand-made candidates.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "KivPartSelection.h"

namespace {

struct Cands {
    CKivScanResPart* Add(uint64_t nFirst, uint64_t nCount, uint64_t nB, uint64_t nC = 0, uint64_t nA = 0) {
        own.push_back(std::make_unique<CKivScanResPart>(KIV_FS_FAT32, 512));
        CKivScanResPart* p = own.back().get();
        p->m_nFirstSector = nFirst;
        p->m_nSectorCount = nCount;
        p->m_nEvidenceB = nB;
        p->m_nEvidenceC = nC;
        p->m_nEvidenceA = nA;
        list.push_back(p);
        return p;
    }
    std::vector<std::unique_ptr<CKivScanResPart>> own;
    std::vector<CKivScanResPart*> list;
};

}  // namespace

TEST(PartSelection, ScoresAreLogOfEvidenceOverLogOfBest) {
    Cands c;
    CKivScanResPart* pLow = c.Add(0, 10, 0, 1);         // raw 1: below 2, kept as is
    CKivScanResPart* pBest = c.Add(100, 10, 4, 0, 50);  // raw 250
    CKivScanResPart* pMid = c.Add(200, 10, 1, 3);       // raw 53
    KivScoreAndSelectParts(c.list, 1000);
    EXPECT_DOUBLE_EQ(pBest->m_dScore, 1.0);
    EXPECT_DOUBLE_EQ(pMid->m_dScore, std::log(53.0) / std::log(250.0));
    // All three fit side by side, so all are selected; the third pick moves up to second place
    // and takes the score that stood there (its own was 1 / ln 250).
    EXPECT_DOUBLE_EQ(pLow->m_dScore, pMid->m_dScore);
    EXPECT_EQ(c.list, (std::vector<CKivScanResPart*>{pBest, pLow, pMid}));
    EXPECT_TRUE(pLow->m_nSelected && pMid->m_nSelected && pBest->m_nSelected);

    // When nothing reaches 2 the divisor is 1.
    Cands d;
    CKivScanResPart* pOne = d.Add(0, 10, 0, 1);
    CKivScanResPart* pZero = d.Add(20, 10, 0, 0);
    KivScoreAndSelectParts(d.list, 1000);
    EXPECT_DOUBLE_EQ(pOne->m_dScore, 1.0);
    EXPECT_DOUBLE_EQ(pZero->m_dScore, 0.0);
    EXPECT_EQ(pOne->m_nSelected, 1u);
    EXPECT_EQ(pZero->m_nSelected, 0u);  // a zero score is never selected

    // An empty list is fine, and huge evidence does not wrap around.
    std::vector<CKivScanResPart*> none;
    KivScoreAndSelectParts(none, 1000);
    Cands e;
    CKivScanResPart* pHuge = e.Add(0, 10, UINT64_MAX, UINT64_MAX);
    CKivScanResPart* pSmall = e.Add(20, 10, 1);
    KivScoreAndSelectParts(e.list, 1000);
    EXPECT_DOUBLE_EQ(pHuge->m_dScore, 1.0);
    EXPECT_LT(pSmall->m_dScore, 1.0);
}

TEST(PartSelection, OverlapsKeepOnlyTheBetterCandidate) {
    Cands c;
    CKivScanResPart* pWeak = c.Add(100, 500, 2);
    CKivScanResPart* pStrong = c.Add(300, 500, 9);
    CKivScanResPart* pOutside = c.Add(900, 200, 50);  // runs past the device end
    CKivScanResPart* pTail = c.Add(800, 100, 1);
    KivScoreAndSelectParts(c.list, 1000);
    EXPECT_EQ(pStrong->m_nSelected, 1u);
    EXPECT_EQ(pWeak->m_nSelected, 0u);
    EXPECT_EQ(pOutside->m_nSelected, 0u);
    EXPECT_EQ(pTail->m_nSelected, 1u);  // fits the free range after the strong one
    // Equal scores: the first in sorted order wins.
    Cands d;
    CKivScanResPart* pFirst = d.Add(0, 100, 3);
    CKivScanResPart* pSecond = d.Add(50, 100, 3);
    KivScoreAndSelectParts(d.list, 1000);
    EXPECT_EQ(pFirst->m_nSelected, 1u);
    EXPECT_EQ(pSecond->m_nSelected, 0u);
    // An absurd candidate whose end overflows never fits.
    Cands e;
    CKivScanResPart* pWrap = e.Add(UINT64_MAX - 5, 10, 3);
    KivScoreAndSelectParts(e.list, UINT64_MAX);
    EXPECT_EQ(pWrap->m_nSelected, 0u);
}

TEST(PartSelection, SelectedCandidatesMoveUpToSecondPlace) {
    Cands c;
    CKivScanResPart* pA = c.Add(0, 600, 100);      // best
    CKivScanResPart* pB = c.Add(100, 100, 50);     // overlaps A
    CKivScanResPart* pC = c.Add(700, 100, 10);     // fits
    KivScoreAndSelectParts(c.list, 1000);
    double dScoreB = std::log(2500.0) / std::log(5000.0);
    ASSERT_EQ(c.list.size(), 3u);
    EXPECT_EQ(c.list[0], pA);
    EXPECT_EQ(c.list[1], pC);  // moved from 2 to 1, with B's score
    EXPECT_EQ(c.list[2], pB);
    EXPECT_DOUBLE_EQ(pC->m_dScore, dScoreB);
    EXPECT_TRUE(pA->m_nSelected && pC->m_nSelected);
    EXPECT_FALSE(pB->m_nSelected);
}

TEST(PartSelection, WholeDeviceCandidateIsFlaggedAndMoved) {
    const uint64_t nDev = 1000000;
    Cands c;
    CKivScanResPart* pPart = c.Add(2048, 400000, 100);
    CKivScanResPart* pOther = c.Add(500000, 1000, 60);
    CKivScanResPart* pWhole = c.Add(0, nDev - 32768, 5);  // overlaps both, lowest score
    KivScoreAndSelectParts(c.list, nDev);
    EXPECT_EQ(pWhole->m_nWholeDevice, 1u);
    EXPECT_EQ(pWhole->m_nSelected, 1u);
    EXPECT_EQ(c.list[1], pWhole);
    EXPECT_EQ(c.list[0], pPart);
    EXPECT_EQ(pOther->m_nSelected, 1u);
    EXPECT_EQ(pPart->m_nWholeDevice, 0u);

    // One sector further from the device size: not the whole device.
    Cands d;
    d.Add(2048, 400000, 100);
    d.Add(500000, 1000, 60);
    CKivScanResPart* pAlmost = d.Add(0, nDev - 32769, 5);
    KivScoreAndSelectParts(d.list, nDev);
    EXPECT_EQ(pAlmost->m_nWholeDevice, 0u);
    EXPECT_EQ(pAlmost->m_nSelected, 0u);

    // A whole-device candidate already in first place gets no flag.
    Cands e;
    CKivScanResPart* pTop = e.Add(0, nDev, 100);
    e.Add(10, 10, 1);
    KivScoreAndSelectParts(e.list, nDev);
    EXPECT_EQ(pTop->m_nWholeDevice, 0u);
    EXPECT_EQ(pTop->m_nSelected, 1u);
}

TEST(PartSelection, CandidatesWithoutATreeAreNeverSelectedAndLeaveTheirRangeToOthers) {
    Cands c;
    CKivScanResPart* pPhantom = c.Add(0, 1000, 10);   // best evidence, but nothing behind it
    CKivScanResPart* pInside = c.Add(100, 500, 2);    // inside the phantom's range
    CKivScanResPart* pLast = c.Add(1000, 8, 1);       // a boot sector copy taken as a volume
    CKivScanResPart* pWhole = c.Add(0, 1024, 0, 1);   // the whole device, no tree either
    int nAsked = 0;
    KivScoreAndSelectParts(c.list, 1024, [&](CKivScanResPart* p) {
        ++nAsked;
        return p == pInside;
    });
    EXPECT_FALSE(pPhantom->m_nSelected);
    EXPECT_TRUE(pInside->m_nSelected);
    EXPECT_FALSE(pLast->m_nSelected);
    EXPECT_FALSE(pWhole->m_nSelected);
    EXPECT_FALSE(pWhole->m_nWholeDevice);
    EXPECT_LE(nAsked, 5);  // asked once per pick, not for every pair
    EXPECT_EQ(c.list[1], pInside) << "the first pick moves up as before";
}
