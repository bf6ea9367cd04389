// Saved scans through the core, as the desktop program uses them: a scan saved and opened again
// gives the same results without a second pass; an unfinished one goes on to the same end; a
// damaged file, another medium or a medium that is gone are refused with one line. Over a failing
// medium the saved bad-area map comes back: failed sectors are never read again, and the files
// they hold are reported damaged, not good.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "CDataBackstage.h"
#include "CKivFileTypeChoice.h"
#include "CKivRecoveryRun.h"
#include "CKivResultController.h"
#include "CKivScanSession.h"
#include "CKivSessionDriver.h"
#include "CKivUiNode.h"
#include "CProgressScan.h"
#include "CoreImages.h"
#include "KivDamagedReader.h"
#include "KivUiCodes.h"

namespace fs = std::filesystem;
using namespace kivcore_test;
using V = CKivResultController;

namespace {

class Sink : public IKivProgressSink {
public:
    void OnScanProgress(const KivScanProgress& p) override {
        if (nStopAtBlock && p.nPos >= nStopAtBlock) bStop = true;
    }
    bool IsStopRequested() override { return bStop; }
    void OnRecoverDamaged(const std::string& s, const std::string& r) override { damaged[s] = r; }
    void OnRecoverFailed(const std::string& s, const std::string&) override { failed.push_back(s); }
    uint64_t nStopAtBlock = 0;
    bool bStop = false;
    std::map<std::string, std::string> damaged;
    std::vector<std::string> failed;
};

// Every node below the root as "path size state", in order.
void Listing(const CKivUiNode* p, const std::string& at, std::vector<std::string>* pOut) {
    for (const CKivUiNode* c : p->GetChildren()) {
        std::string path = at + "/" + c->GetName();
        pOut->push_back(path + " " + std::to_string(c->GetSize()) + " " + std::to_string(c->IsFile()));
        Listing(c, path, pOut);
    }
}

const CKivUiNode* Find(const CKivUiNode* p, const std::string& name) {
    for (const CKivUiNode* c : p->GetChildren()) {
        if (name == c->GetName()) return c;
        if (const CKivUiNode* f = Find(c, name)) return f;
    }
    return nullptr;
}

class SessionDriver : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (ImageDir().empty()) return;
        s_image = ImageDir() + "/fat.img";
        std::string bytes = ReadAll(s_image);
        s_data.assign(bytes.begin(), bytes.end());
    }
    void SetUp() override {
        ASSERT_FALSE(s_data.empty()) << "the test images could not be made";
        m_tmp = fs::temp_directory_path() / ("kiv-core-session-" + std::to_string(::getpid()));
        HideMachineDisks(m_tmp);  // the image is the only disk
        m_file = (m_tmp / "scan.undelia").string();
    }
    void TearDown() override { fs::remove_all(m_tmp); }

    // The first sector of a file put on the image (found by its first bytes).
    static uint64_t SectorOf(const std::string& rel) {
        std::string head = ReadAll(ImageDir() + "/fat-src/" + rel).substr(0, 512);
        size_t at = std::string(s_data.begin(), s_data.end()).find(head);
        EXPECT_NE(at, std::string::npos) << rel;
        return at / 512;
    }

    // Every type, and a scan of the direct device pStor (or of the image as a listed disk).
    static void Scan(CDataBackstage& bs, IKivDevStor* pStor, Sink* pSink) {
        if (pStor)
            bs.SetDirectDevice(pStor);
        else
            ASSERT_TRUE(ChooseImage(bs, s_image));
        ASSERT_TRUE(ChooseEveryType(bs));
        CProgressScan scan(bs, pSink);
        ASSERT_EQ(KivErrNo(scan.DoScan()), 0u);
    }

    static std::vector<std::string> Results(CDataBackstage& bs) {
        CKivResultController ctl(bs);
        Sink sink;
        std::vector<std::string> out;
        EXPECT_EQ(KivErrNo(ctl.FileInit(&sink)), 0u);
        if (CKivUiNode* root = ctl.Root(V::VIEW_DIR)) Listing(root, "", &out);
        return out;
    }

    static inline std::string s_image;
    static inline std::vector<uint8_t> s_data;
    fs::path m_tmp;
    std::string m_file;
};

}  // namespace

TEST_F(SessionDriver, FailingMediumKeepsItsBadAreasAndItsDamagedFilesStayDamaged) {
    const uint64_t nPdf = SectorOf("Docs/report.pdf") + 3, nXlsx = SectorOf("budget.xlsx");
    auto* pFirst = new KivDamagedMemStor(s_data);
    pFirst->Reader().AddBad(nPdf, nPdf + 1);
    // Written off untried beside a damaged region, yet readable: recovery tries it again.
    pFirst->AddBadAreas({{nXlsx, nXlsx + 4, KIV_BAD_UNTRIED}});
    KivBadRanges saved;
    std::vector<std::string> before;
    {
        CDataBackstage bs;
        Sink sink;
        Scan(bs, pFirst, &sink);
        std::string why;
        ASSERT_EQ(KivErrNo(CKivSessionDriver(bs).Save(m_file, &why)), 0u) << why;
        pFirst->GetBadAreas(&saved);
        before = Results(bs);
    }
    pFirst->Release();
    ASSERT_LT(nPdf, nXlsx);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].nFirst, nPdf);
    EXPECT_EQ(saved[0].nKind, KIV_BAD_FAILED);
    EXPECT_EQ(saved[1].nFirst, nXlsx);
    EXPECT_EQ(saved[1].nKind, KIV_BAD_UNTRIED);

    // The same medium, opened afresh: the map is back before anything is read.
    auto* pAgain = new KivDamagedMemStor(s_data);
    pAgain->Reader().AddBad(nPdf, nPdf + 1);
    CDataBackstage bs;
    bool bComplete = false;
    std::string why;
    ASSERT_EQ(KivErrNo(CKivSessionDriver(bs).Open(m_file, pAgain, &bComplete, &why)), 0u) << why;
    EXPECT_TRUE(bComplete);
    KivBadRanges restored;
    pAgain->GetBadAreas(&restored);
    ASSERT_EQ(restored.size(), saved.size());
    for (size_t i = 0; i < saved.size(); ++i) {
        EXPECT_EQ(restored[i].nFirst, saved[i].nFirst);
        EXPECT_EQ(restored[i].nEnd, saved[i].nEnd);
        EXPECT_EQ(restored[i].nKind, saved[i].nKind);
    }
    // The fingerprint took 2 MiB; nothing was scanned again.
    uint64_t nRead = 0;
    for (auto [first, n] : pAgain->Reader().accesses) nRead += n;
    EXPECT_LE(nRead, 2u * 2048u);

    CKivResultController ctl(bs);
    Sink sink;
    ASSERT_EQ(KivErrNo(ctl.FileInit(&sink)), 0u);
    std::vector<std::string> after;
    Listing(ctl.Root(V::VIEW_DIR), "", &after);
    EXPECT_EQ(after, before);
    const CKivUiNode* pdf = Find(ctl.Root(V::VIEW_DIR), "report.pdf");
    const CKivUiNode* xlsx = Find(ctl.Root(V::VIEW_DIR), "budget.xlsx");
    ASSERT_TRUE(pdf && xlsx);
    ASSERT_EQ(ctl.SetTick(V::VIEW_DIR, const_cast<CKivUiNode*>(pdf), true), KIV_OK);
    ASSERT_EQ(ctl.SetTick(V::VIEW_DIR, const_cast<CKivUiNode*>(xlsx), true), KIV_OK);
    fs::create_directories(m_tmp / "out");
    KivRecoverSummary sum;
    ASSERT_EQ(KivErrNo(ctl.Recover(V::VIEW_DIR, (m_tmp / "out").string(), &sink, nullptr, &sum)), 0u);
    EXPECT_EQ(sum.nFilesWritten, 2u);
    EXPECT_EQ(sum.nDamaged, 1u);
    ASSERT_EQ(sink.damaged.size(), 1u);
    EXPECT_NE(sink.damaged.begin()->first.find("report.pdf"), std::string::npos);
    EXPECT_TRUE(sink.failed.empty());
    ASSERT_EQ(sum.folders.size(), 1u);
    EXPECT_EQ(ReadAll(sum.folders[0] + "/budget.xlsx"), ReadAll(ImageDir() + "/fat-src/budget.xlsx"));
    std::string got = ReadAll(sum.folders[0] + "/Docs/report.pdf");
    std::string src = ReadAll(ImageDir() + "/fat-src/Docs/report.pdf");
    ASSERT_EQ(got.size(), src.size());
    EXPECT_EQ(got.substr(3 * 512, 512), std::string(512, '\0'));
    EXPECT_EQ(got.substr(4 * 512), src.substr(4 * 512));

    // The failed sector was never asked of the device again; the untried ones were, and read.
    for (auto [first, n] : pAgain->Reader().accesses) EXPECT_FALSE(first <= nPdf && nPdf < first + n) << first;
    KivBadRanges now;
    pAgain->GetBadAreas(&now);
    ASSERT_FALSE(now.empty());
    EXPECT_EQ(now[0].nFirst, nPdf);
    EXPECT_EQ(now[0].nKind, KIV_BAD_FAILED);
    // What the file needed of the untried area was read; the map forgot it.
    for (const KivBadRange& r : now) EXPECT_FALSE(r.nFirst <= nXlsx && nXlsx < r.nEnd) << r.nFirst;
    bs.ScanReset();
    bs.SetDirectDevice(nullptr);
    pAgain->Release();
}

TEST_F(SessionDriver, AStoppedScanOpenedAgainGoesOnToTheSameResult) {
    std::vector<std::string> whole;
    {
        CDataBackstage bs;
        Sink sink;
        Scan(bs, nullptr, &sink);
        whole = Results(bs);
        std::string why;
        // Nothing is saved where no folder is.
        EXPECT_NE(KivErrNo(CKivSessionDriver(bs).Save((m_tmp / "no/such/dir/s").string(), &why)), 0u);
        EXPECT_NE(why.find("no/such/dir"), std::string::npos) << why;
    }
    ASSERT_FALSE(whole.empty());
    {
        CDataBackstage bs;
        Sink sink;
        sink.nStopAtBlock = 1;
        Scan(bs, nullptr, &sink);
        std::string why;
        ASSERT_EQ(KivErrNo(CKivSessionDriver(bs).Save(m_file, &why)), 0u) << why;
    }
    CKivScanSession s;
    std::string why;
    ASSERT_TRUE(s.Load(m_file, &why)) << why;
    EXPECT_FALSE(s.bComplete);
    EXPECT_EQ(s.medium.strPath, s_image);
    EXPECT_EQ(s.strTypes, "");

    // Found again by its path alone (no device list holds it), and gone on with.
    CDataBackstage bs;
    bool bComplete = true;
    ASSERT_EQ(KivErrNo(CKivSessionDriver(bs).Open(m_file, nullptr, &bComplete, &why)), 0u) << why;
    EXPECT_FALSE(bComplete);
    EXPECT_EQ(bs.GetResumeSession().strFile, m_file);
    EXPECT_EQ(bs.GetDevTexts()[1], s_image);
    Sink sink;
    CProgressScan scan(bs, &sink);
    scan.SetSaveEvery(0);
    ASSERT_EQ(KivErrNo(scan.DoScan()), 0u);
    EXPECT_EQ(scan.SessionError(), "");
    EXPECT_FALSE(scan.WasStopped());
    EXPECT_TRUE(bs.GetResumeSession().strFile.empty());
    EXPECT_EQ(Results(bs), whole);
    // The session file kept up: it now holds the finished scan.
    ASSERT_TRUE(s.Load(m_file, &why)) << why;
    EXPECT_TRUE(s.bComplete);
    CDataBackstage bs2;
    ASSERT_EQ(KivErrNo(CKivSessionDriver(bs2).Open(m_file, nullptr, &bComplete, &why)), 0u) << why;
    EXPECT_TRUE(bComplete);
    EXPECT_EQ(Results(bs2), whole);
}

// The command line's way: a new scan kept in its session file as it runs, stopped, then opened
// on the medium it names and gone on with in the very engine the session was put into.
TEST_F(SessionDriver, AResumedScanGoesOnOnceFromWhereTheSessionStopped) {
    std::vector<std::string> whole;
    {
        CDataBackstage bs;
        Sink sink;
        Scan(bs, nullptr, &sink);
        whole = Results(bs);
    }
    IKivDevStor* pStor = nullptr;
    {
        CDataBackstage bs;
        ASSERT_EQ(KivErrNo(bs.OpenImage(s_image, 0, &pStor)), 0u);
        bs.SetDirectDevice(pStor);
        bs.SetScanMediumPath(s_image);
        ASSERT_TRUE(ChooseEveryType(bs));
        Sink sink;
        sink.nStopAtBlock = 1;
        CProgressScan scan(bs, &sink);
        scan.SaveInto(m_file, "");
        uint64_t nSaves = 0;
        scan.SetAfterSave([&](uint64_t n) { nSaves = n; });
        ASSERT_EQ(KivErrNo(scan.DoScan()), 0u);
        EXPECT_TRUE(scan.WasStopped());
        EXPECT_EQ(scan.SessionError(), "");
        EXPECT_GE(nSaves, 1u);
        bs.ScanReset();
        bs.SetDirectDevice(nullptr);
    }
    CDataBackstage bs;
    CKivSessionDriver::Opened opened;
    std::string why;
    ASSERT_EQ(KivErrNo(CKivSessionDriver(bs).Open(m_file, pStor, s_image, false, &opened, &why)), 0u) << why;
    pStor->Release();
    EXPECT_FALSE(opened.bComplete);
    EXPECT_GE(opened.nBlocksDone, 1u);
    EXPECT_LT(opened.nBlocksDone, opened.nBlocks);
    IKivScanDev* pEngine = nullptr;
    bs.GetRecoverData(&pEngine, nullptr);
    ASSERT_TRUE(pEngine);
    Sink sink;
    CProgressScan scan(bs, &sink);
    ASSERT_EQ(KivErrNo(scan.DoScan()), 0u);
    // Not put back a second time into a fresh engine: the scan began where the file said.
    IKivScanDev* pAfter = nullptr;
    bs.GetRecoverData(&pAfter, nullptr);
    EXPECT_EQ(pAfter, pEngine);
    EXPECT_EQ(scan.FirstBlock(), opened.nBlocksDone);
    EXPECT_EQ(Results(bs), whole);
    CKivScanSession s;
    ASSERT_TRUE(s.Load(m_file, &why)) << why;
    EXPECT_TRUE(s.bComplete);
    bs.ScanReset();
    bs.SetDirectDevice(nullptr);
}

// A recovery run as both front ends show it: the front end's sink hears every damaged file as it
// happens; afterwards the run lists them where they lie now, and the report is finished.
TEST_F(SessionDriver, ARecoveryRunGathersDamagedFilesWhereTheyLieAndFinishesItsReport) {
    const uint64_t nPdf = SectorOf("Docs/report.pdf") + 3;
    auto* pStor = new KivDamagedMemStor(s_data);
    pStor->Reader().AddBad(nPdf, nPdf + 1);
    {
        CDataBackstage bs;
        Sink sink;
        Scan(bs, pStor, &sink);
        CKivResultController ctl(bs);
        ASSERT_EQ(KivErrNo(ctl.FileInit(&sink)), 0u);
        ASSERT_EQ(ctl.SetTick(V::VIEW_DIR, ctl.Root(V::VIEW_DIR), true), KIV_OK);
        fs::create_directories(m_tmp / "out");
        CKivRecoveryRun run(bs, ctl);
        run.WantReport("test", "test --all", {}, 1000);
        KivRecoverSummary sum;
        ASSERT_EQ(KivErrNo(run.Recover(V::VIEW_DIR, (m_tmp / "out").string(), &sink, nullptr, &sum)), 0u);
        std::vector<CKivRecoveryRun::Outcome> damaged = run.Damaged();
        ASSERT_EQ(damaged.size(), sum.nDamaged);
        ASSERT_GE(damaged.size(), 1u);
        EXPECT_EQ(sink.damaged.size(), damaged.size());
        size_t nMoved = 0, nHeardElsewhere = 0;
        for (size_t n : run.Moved()) nMoved += n;
        for (const CKivRecoveryRun::Outcome& o : damaged) {
            EXPECT_TRUE(fs::exists(o.path)) << o.path;
            ASSERT_EQ(o.zeros.size(), 1u) << o.path;
            EXPECT_EQ(o.zeros[0].nEnd - o.zeros[0].nFirst, 512u);
            EXPECT_NE(CKivRecoveryRun::Line(o).find(o.path + ": "), std::string::npos);
            // The sink heard it under the name it had during the copy.
            nHeardElsewhere += sink.damaged.count(o.path) ? 0 : 1;
        }
        EXPECT_EQ(nHeardElsewhere, nMoved);
        CKivRecoveryReport* pReport = run.FinishReport();
        ASSERT_TRUE(pReport);
        size_t nReportDamaged = 0;
        for (const KivReportFile& f : pReport->Files()) nReportDamaged += f.bDamaged;
        EXPECT_EQ(nReportDamaged, damaged.size());
        std::string json = pReport->ToJson();
        EXPECT_NE(json.find("\"test --all\""), std::string::npos);
        bs.ScanReset();
        bs.SetDirectDevice(nullptr);
    }
    pStor->Release();
}

TEST_F(SessionDriver, DamagedForeignAndOrphanedSessionsAreRefusedWithOneLine) {
    {
        CDataBackstage bs;
        Sink sink;
        Scan(bs, nullptr, &sink);
        std::string why;
        ASSERT_EQ(KivErrNo(CKivSessionDriver(bs).Save(m_file, &why)), 0u) << why;
        // Without a scan there is nothing to save.
        CDataBackstage empty;
        EXPECT_EQ(KivErrNo(CKivSessionDriver(empty).Save(m_file + ".x", &why)), uint32_t(KIV_E_STATE));
    }
    auto refused = [&](const std::string& file, IKivDevStor* pStor, uint32_t nCode, const std::string& word) {
        CDataBackstage bs;
        bool bComplete = true;
        std::string why;
        EXPECT_EQ(KivErrNo(CKivSessionDriver(bs).Open(file, pStor, &bComplete, &why)), nCode) << why;
        EXPECT_FALSE(bComplete);
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        EXPECT_NE(why.find(word), std::string::npos) << why;
        // Nothing of it stays behind.
        IKivScanDev* pEngine = nullptr;
        bs.GetRecoverData(&pEngine, nullptr);
        EXPECT_EQ(pEngine, nullptr);
        EXPECT_EQ(bs.GetDirectDevice(), nullptr);
    };
    std::string bytes = ReadAll(m_file);
    std::string bad = bytes;
    bad[bad.size() / 2] ^= 0x20;
    std::ofstream((m_tmp / "flipped").string(), std::ios::binary) << bad;
    refused((m_tmp / "flipped").string(), nullptr, KIV_E_INVALIDARG, "damaged");
    std::ofstream((m_tmp / "notes.txt").string()) << "not a session at all\n";
    refused((m_tmp / "notes.txt").string(), nullptr, KIV_E_INVALIDARG, "not a scan session");

    // Another medium of the same size: its last sector differs.
    std::vector<uint8_t> other = s_data;
    other[other.size() - 1] ^= 1;
    auto* pOther = new KivDamagedMemStor(other);
    refused(m_file, pOther, KIV_E_DEVCHANGED, "other contents");
    KivBadRanges map;
    pOther->GetBadAreas(&map);
    EXPECT_TRUE(map.empty());
    pOther->Release();

    // The image was moved away.
    fs::path moved = m_tmp / "img";
    fs::create_directories(moved);
    CKivScanSession s;
    std::string why;
    ASSERT_TRUE(s.Load(m_file, &why));
    s.medium.strPath = (moved / "card.img").string();
    ASSERT_TRUE(s.Save(m_file, &why));
    refused(m_file, nullptr, KIV_E_NOTFOUND, "card.img");
}
