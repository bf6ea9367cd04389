// The back-stage's hand-over rules and the progress callbacks' texts and throttling.
#include <gtest/gtest.h>

#include <thread>

#include "CDataBackstage.h"
#include "CKivFileRecover.h"
#include "CKivScan.h"
#include "CKivUiNode.h"
#include "KivFakeResultTree.h"
#include "KivFunction.h"
#include "KivUiTexts.h"

TEST(BackstageTest, NothingIsHandedOverBeforeItExists) {
    CDataBackstage bs;
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    uint32_t nIndex = 9;
    EXPECT_EQ(KivErrNo(bs.SetEnumDevResult(0)), 0x003u);
    EXPECT_EQ(KivErrNo(bs.GetEnumDevResult(&disks, &parts, &nIndex)), 0x003u);
    EXPECT_EQ(KivErrNo(bs.SetFilterResult(KivFilterSet{})), 0x003u);
    KivFilterSet set;
    EXPECT_EQ(KivErrNo(bs.GetFilterResult(&set)), 0x003u);
    std::vector<CKivScanResPart*> res;
    EXPECT_EQ(KivErrNo(bs.GetScanResult(&res)), 0x003u);
    EXPECT_EQ(KivErrNo(bs.SetScanResult({})), 0x003u);
    EXPECT_EQ(KivErrNo(bs.GetEnumFileData(nullptr, nullptr)), 0x003u);
    CKivUiNode *dir = nullptr, *type = nullptr;
    EXPECT_EQ(KivErrNo(bs.GetEnumFileResult(&dir, &type)), 0x003u);
    EXPECT_EQ(KivErrNo(bs.GetRecoverData(nullptr, nullptr)), 0x003u);
    EXPECT_EQ(bs.GetDevMode(), 1);
}

TEST(BackstageTest, TheFilterCatalogueAndTheEngineAreBoundOnFirstUse) {
    CDataBackstage bs;
    IKivFilter* pFilter = nullptr;
    std::vector<FilterItem> cat;
    ASSERT_EQ(KivErrNo(bs.GetFilterData(&pFilter, &cat)), 0u);
    ASSERT_NE(pFilter, nullptr);
    EXPECT_EQ(cat.size(), 8u);
    IKivFilter* pAgain = nullptr;
    ASSERT_EQ(KivErrNo(bs.GetFilterData(&pAgain, nullptr)), 0u);
    EXPECT_EQ(pAgain, pFilter);
    ASSERT_EQ(bs.SetFilterResult(KivFilterSet{0, {"jpg"}}), KIV_OK);
    KivFilterSet set;
    ASSERT_EQ(bs.GetFilterResult(&set), KIV_OK);
    EXPECT_EQ(set, (KivFilterSet{0, {"jpg"}}));

    IKivScanDev* pEngine = nullptr;
    ASSERT_EQ(bs.GetScanData(&pEngine), KIV_OK);
    ASSERT_NE(pEngine, nullptr);
    ASSERT_EQ(bs.SetScanResult({}), KIV_OK);
    std::vector<CKivScanResPart*> res;
    ASSERT_EQ(bs.GetScanResult(&res), KIV_OK);
    EXPECT_TRUE(res.empty());
    // Both roots are needed for the hand-over.
    CKivUiNode* root = CKivUiNode::NewFolder(CKivUiNode::KIND_ROOT, "");
    EXPECT_EQ(KivErrNo(bs.SetEnumFileResult(root, nullptr)), 0x003u);
    ASSERT_EQ(bs.SetEnumFileResult(root, root), KIV_OK);
    EXPECT_EQ(KivErrNo(bs.GetRecoverData(nullptr, nullptr)), 0x003u);  // no node manager yet
    ASSERT_EQ(bs.GetEnumFileData(nullptr, nullptr), KIV_OK);
    EXPECT_EQ(bs.GetRecoverData(nullptr, nullptr), KIV_OK);
    bs.ScanReset();
    EXPECT_EQ(KivErrNo(bs.GetScanResult(&res)), 0x003u);
    EXPECT_EQ(KivErrNo(bs.GetEnumFileResult(nullptr, nullptr)), 0x003u);
    root->Release();
    bs.FullReset();
    EXPECT_EQ(KivErrNo(bs.GetFilterResult(&set)), 0x003u);
}

namespace {

class LastSink : public IKivProgressSink {
public:
    void OnScanProgress(const KivScanProgress& p) override {
        ++nScan;
        scan = p;
    }
    void OnRecoverProgress(const KivRecoverProgress& p) override {
        ++nRecover;
        recover = p;
    }
    void OnRecoverDamaged(const std::string& strPath, const std::string& strReason) override {
        damaged.emplace_back(strPath, strReason);
    }
    void OnRecoverFailed(const std::string& strPath, const std::string& strReason) override {
        failed.emplace_back(strPath, strReason);
    }
    int nScan = 0, nRecover = 0;
    KivScanProgress scan;
    KivRecoverProgress recover;
    std::vector<std::pair<std::string, std::string>> damaged, failed;
};

}  // namespace

TEST(ProgressCallbackTest, ScanRedrawsAtMostEvery200MsAndAlwaysAtTheEnd) {
    LastSink sink;
    CKivScan scan(&sink);
    scan.SetDevice(4096, 100 * 4096);
    scan.SetRange(0, 100);
    for (uint64_t i = 1; i < 100; ++i) scan.SetPos(i);
    EXPECT_EQ(sink.nScan, 1);  // the first block; the rest came within 200 ms
    scan.SetPos(100);
    EXPECT_EQ(sink.nScan, 2);
    EXPECT_EQ(sink.scan.nBytesDone, 100u * 4096);
    EXPECT_TRUE(sink.scan.bTimesKnown);
    EXPECT_NE(sink.scan.strElapsed.find(":"), std::string::npos);
    uint64_t stats[16] = {};
    stats[7] = 42;
    scan.OnBlockDone(stats);
    EXPECT_EQ(scan.Found(), 42u);
    // A stop asks the engine to end and shows no more times.
    EXPECT_EQ(scan.IsCancelled(), 0);
    scan.RequestStop();
    EXPECT_EQ(scan.IsCancelled(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(210));
    scan.SetPos(50);
    EXPECT_FALSE(sink.scan.bTimesKnown);
}

TEST(ProgressCallbackTest, RemainingTimeOfAFastStartIsNotZero) {
    LastSink sink;
    CKivScan scan(&sink);
    scan.SetDevice(4096, 100 * 4096);
    scan.SetRange(0, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    scan.SetPos(10);  // a tenth after 0.3 s: nine times as long to go
    ASSERT_TRUE(sink.scan.bTimesKnown);
    EXPECT_GE(sink.scan.nRemainingMs, 2500u);
    EXPECT_GE(sink.scan.nRemainingSec, 3u);
}

TEST(ProgressCallbackTest, FinishedRecoveryShowsEqualDoneAndTotal) {
    LastSink sink;
    CKivFileRecover cb(&sink);
    cb.SetTotals(2, 3000);
    cb.ResetCounters();
    EXPECT_EQ(cb.OnFileStart("a.jpg"), 0);
    cb.OnBytesWritten(1000);
    int nBefore = sink.nRecover;
    cb.OnBytesWritten(1000);  // within 300 ms: no redraw
    EXPECT_EQ(sink.nRecover, nBefore);
    cb.OnFileDone(1);
    cb.OnFileStart(nullptr);
    cb.OnBytesWritten(1000);  // the last bytes always show
    EXPECT_EQ(sink.recover.nBytesDone, 3000u);
    char expect[64];
    std::snprintf(expect, sizeof expect, "%8s / %10s", KivSizeTextIec(3000).c_str(), KivSizeTextIec(3000).c_str());
    EXPECT_EQ(sink.recover.strBytes, expect);
    cb.OnFileDone(1);
    EXPECT_EQ(sink.recover.nFileBar, 1000u);
    EXPECT_EQ(cb.FileBar(), 1000u);
    cb.RequestStop();
    EXPECT_EQ(cb.OnFileDone(0), -1);
    EXPECT_TRUE(cb.IsStopped());
}

TEST(ProgressCallbackTest, DamagedAndFailedFilesReachTheSinkWithTheirReasonAndZeroRanges) {
    LastSink sink;
    CKivFileRecover cb(&sink);
    KivByteRange ranges[] = {{2048, 10240}, {20000, 20001}};
    KivRecoverIssue issue;
    issue.pszPath = "/out/a.jpg";
    issue.pszReason = "unreadable sectors written as zeros";
    issue.pRanges = ranges;
    issue.nRanges = 2;
    cb.OnFileDamagedEx(issue);
    KivRecoverIssue fail;
    fail.pszPath = "/out/b.jpg";
    fail.pszReason = "its file record cannot be read";
    cb.OnFileFailedEx(fail);
    ASSERT_EQ(sink.damaged.size(), 1u);
    EXPECT_EQ(sink.damaged[0].first, "/out/a.jpg");
    EXPECT_EQ(sink.damaged[0].second, "unreadable sectors written as zeros: bytes 2048-10239, 20000 (8193 bytes)");
    ASSERT_EQ(sink.failed.size(), 1u);
    EXPECT_EQ(sink.failed[0].second, "its file record cannot be read");
    EXPECT_EQ(cb.Damaged(), 1u);
    EXPECT_EQ(cb.Failed(), 1u);
}

TEST(SizeTextTest, OneFormattingInUnitsOf1024NamedAsSuch) {
    EXPECT_EQ(KivSizeTextIec(0), "0 B");
    EXPECT_EQ(KivSizeTextIec(1023), "1023 B");
    EXPECT_EQ(KivSizeTextIec(1536), "1.50 KiB");
    EXPECT_EQ(KivSizeTextIec(1ull << 30), "1.00 GiB");
    // Just below a unit: the next one, never "1024.00 MiB".
    EXPECT_EQ(KivSizeTextIec((1ull << 30) - 1), "1.00 GiB");
    EXPECT_EQ(KivSizeTextIec(UINT64_MAX), "16.00 EiB");
}
