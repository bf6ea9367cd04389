// The whole workflow through the core, as a front end drives it: devices, file types, scan,
// views, ticks, recovery, placeholder folders renamed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "CDataBackstage.h"
#include "CKivFileNodeMgr.h"
#include "CKivFileTypeChoice.h"
#include "CKivRecoveryReport.h"
#include "CKivResultController.h"
#include "CKivSessionDriver.h"
#include "CKivUiNode.h"
#include "CProgressScan.h"
#include "CoreImages.h"
#include "KivUiCodes.h"

namespace fs = std::filesystem;
using namespace kivcore_test;

namespace {

class CountingSink : public IKivProgressSink {
public:
    void OnScanProgress(const KivScanProgress& p) override {
        ++nScan;
        last = p;
    }
    void OnScanEnd() override { ++nScanEnd; }
    void OnViewsStart() override { ++nViews; }
    void OnRecoverProgress(const KivRecoverProgress& p) override {
        ++nRecover;
        lastRecover = p;
    }
    void OnRecoverFailed(const std::string& s, const std::string& why) override {
        std::lock_guard<std::mutex> g(lock);
        failed.push_back(s);
        reasons.push_back(why);
    }
    void OnRecoverDamaged(const std::string& s, const std::string& why) override {
        std::lock_guard<std::mutex> g(lock);
        damaged.push_back(s);
        reasons.push_back(why);
    }
    bool IsStopRequested() override { return bStop.load(); }

    std::atomic<int> nScan{0}, nScanEnd{0}, nViews{0}, nRecover{0};
    KivScanProgress last;
    KivRecoverProgress lastRecover;
    std::mutex lock;
    std::vector<std::string> failed, damaged, reasons;
    std::atomic<bool> bStop{false};
};

// Answers each kind of question as told and remembers what was asked.
class ScriptedPrompt : public IKivPrompt {
public:
    bool AskYesNo(KivQuestion nKind, const std::string& strText) override {
        asked.push_back(nKind);
        texts.push_back(strText);
        return nKind == KIV_ASK_LOW_SPACE ? bLowSpace : bRecoverInto;
    }
    void ShowMessage(const std::string& s) override { texts.push_back(s); }
    bool bLowSpace = false, bRecoverInto = true;
    std::vector<KivQuestion> asked;
    std::vector<std::string> texts;
};

const CKivUiNode* Child(const CKivUiNode* p, const std::string& name) {
    for (const CKivUiNode* c : p ? p->GetChildren() : std::vector<CKivUiNode*>{})
        if (name == c->GetName()) return c;
    return nullptr;
}

const CKivUiNode* At(const CKivUiNode* root, const std::string& path) {
    const CKivUiNode* cur = root;
    size_t pos = 0;
    while (cur) {
        size_t slash = path.find('/', pos);
        cur = Child(cur, path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos));
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return cur;
}

// Removed after the back-stage below has closed the images in it (Windows deletes no open file).
struct RemovedDir {
    ~RemovedDir() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
    fs::path path;
};

class CoreEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ImageDir().empty()) << "the test images could not be made";
        m_tmp = fs::temp_directory_path() / ("kiv-core-e2e-" + std::to_string(::getpid()));
        m_removed.path = m_tmp;
        HideMachineDisks(m_tmp);  // the image is the only disk
        m_dest = (m_tmp / "out").string();
        fs::create_directories(m_dest);
    }

    // Devices, types and the scan, as the first pages do; then the views, unless told not to.
    void ScanImage(const std::string& image, bool bViews = true) {
        ASSERT_TRUE(ChooseImage(m_bs, image));
        ASSERT_TRUE(ChooseEveryType(m_bs));

        CProgressScan scan(m_bs, &m_sink);
        ASSERT_EQ(KivErrNo(scan.DoScan()), 0u);
        EXPECT_FALSE(scan.WasStopped());
        EXPECT_EQ(m_sink.nScanEnd.load(), 1);
        EXPECT_EQ(m_sink.last.nPos, m_sink.last.nRange);  // the last redraw shows the end
        EXPECT_EQ(m_sink.last.nBytesDone, m_sink.last.nBytesTotal);
        if (bViews) {
            ASSERT_EQ(KivErrNo(m_ctl.FileInit(&m_sink)), 0u);
        }
    }

    // Every file below the folder, by path relative to it.
    static std::map<std::string, std::string> Tree(const fs::path& dir) {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file()) out[fs::relative(e.path(), dir).generic_string()] = ReadAll(e.path().string());
        return out;
    }

    RemovedDir m_removed;
    fs::path m_tmp;
    std::string m_dest;
    CDataBackstage m_bs;
    CKivResultController m_ctl{m_bs};
    CountingSink m_sink;
};

}  // namespace

TEST_F(CoreEndToEnd, FatFolderAndFilesAndACarvedPictureComeBackWhole) {
    ScanImage(ImageDir() + "/fat.img");
    CKivUiNode* dir = m_ctl.Root(CKivResultController::VIEW_DIR);
    ASSERT_NE(dir, nullptr);
    ASSERT_EQ(dir->GetChildren().size(), 1u);
    std::string part = dir->GetChildren()[0]->GetName();
    const CKivUiNode* carved = At(dir, part + "/Unknow path/Type Scan");
    ASSERT_NE(carved, nullptr) << "no carved files in the free clusters";

    // A folder and two files, one of them the carved picture.
    const CKivUiNode* photos = At(dir, part + "/Photos");
    const CKivUiNode* report = At(dir, part + "/Docs/report.pdf");
    ASSERT_NE(photos, nullptr);
    ASSERT_NE(report, nullptr);
    const CKivUiNode* pic = nullptr;
    for (const CKivUiNode* g : carved->GetChildren())
        for (const CKivUiNode* f : g->GetChildren())
            if (f->IsFile() && f->GetSize() == fs::file_size(ImageDir() + "/fat-src/carved.jpg")) pic = f;
    ASSERT_NE(pic, nullptr);
    using V = CKivResultController;
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, const_cast<CKivUiNode*>(photos), true), KIV_OK);
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, const_cast<CKivUiNode*>(report), true), KIV_OK);
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, const_cast<CKivUiNode*>(pic), true), KIV_OK);
    uint64_t nFiles = 0, nBytes = 0;
    m_ctl.GetTotals(V::VIEW_DIR, &nFiles, &nBytes);
    EXPECT_EQ(nFiles, 4u);

    KivRecoverSummary sum;
    ASSERT_EQ(KivErrNo(m_ctl.Recover(V::VIEW_DIR, m_dest, &m_sink, nullptr, &sum)), 0u);
    EXPECT_EQ(sum.nFilesWritten, 4u);
    EXPECT_EQ(sum.nBytesWritten, nBytes);
    EXPECT_EQ(sum.nFailed, 0u);
    EXPECT_TRUE(m_sink.failed.empty());
    EXPECT_EQ(m_sink.lastRecover.nBytesDone, m_sink.lastRecover.nBytesTotal);
    EXPECT_EQ(m_sink.lastRecover.nFileBar, 1000u);
    ASSERT_EQ(sum.folders.size(), 1u);

    std::map<std::string, std::string> got = Tree(sum.folders[0]);
    std::string src = ImageDir() + "/fat-src/";
    EXPECT_EQ(got["Photos/beach.jpg"], ReadAll(src + "Photos/beach.jpg"));
    EXPECT_EQ(got["Photos/sunset.png"], ReadAll(src + "Photos/sunset.png"));
    EXPECT_EQ(got["Docs/report.pdf"], ReadAll(src + "Docs/report.pdf"));
    EXPECT_EQ(got.count("budget.xlsx"), 0u);
    size_t nCarved = 0;
    for (const auto& [path, bytes] : got) {
        EXPECT_EQ(path.find('{'), std::string::npos) << path;
        if (path.rfind("Unknow path/Type Scan/", 0) == 0) {
            ++nCarved;
            EXPECT_EQ(bytes, ReadAll(src + "carved.jpg")) << path;
        }
    }
    EXPECT_EQ(nCarved, 1u);
    EXPECT_EQ(got.size(), 4u);
}

TEST_F(CoreEndToEnd, TypeViewAndFilterViewRecoverTheirOwnTicks) {
    ScanImage(ImageDir() + "/fat.img");
    using V = CKivResultController;
    CKivUiNode* type = m_ctl.Root(V::VIEW_TYPE);
    ASSERT_NE(type, nullptr);
    const CKivUiNode* pdf = At(type, "Documents/pdf");
    ASSERT_NE(pdf, nullptr);
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_TYPE, const_cast<CKivUiNode*>(pdf), true), KIV_OK);
    // A tick in another view is not part of this recovery.
    const CKivUiNode* photos = At(m_ctl.Root(V::VIEW_DIR), std::string(m_ctl.Root(V::VIEW_DIR)->GetChildren()[0]->GetName()) + "/Photos");
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, const_cast<CKivUiNode*>(photos), true), KIV_OK);
    KivRecoverSummary sum;
    ASSERT_EQ(KivErrNo(m_ctl.Recover(V::VIEW_TYPE, m_dest, &m_sink, nullptr, &sum)), 0u);
    EXPECT_EQ(sum.nFilesWritten, 1u);
    std::map<std::string, std::string> got = Tree(sum.folders.at(0));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got.begin()->first, "Docs/report.pdf");

    // The filter view: files larger than 500 bytes whose name has an "e".
    CKivResultFilter f;
    f.SetKey("E");
    f.SetLargerThan(500);
    CKivUiNode* root = nullptr;
    ASSERT_EQ(KivErrNo(m_ctl.ApplyFilter(f, &root)), 0u);
    EXPECT_GE(root->GetChildren().size(), 3u);  // beach.jpg, report.pdf, budget.xlsx
    for (const CKivUiNode* c : root->GetChildren()) {
        EXPECT_GT(c->GetSize(), 500u) << c->GetName();
        EXPECT_NE(std::string(c->GetName()).find('e'), std::string::npos);
    }
    f.SetKey("no file is called like this");
    EXPECT_EQ(KivErrNo(m_ctl.ApplyFilter(f, &root)), KIV_E_NOTHINGFOUND);
}

TEST_F(CoreEndToEnd, MemoryRunningOutWhileTheViewsAreBuiltIsAnErrorAndTheNextBuildWorks) {
    ScanImage(ImageDir() + "/fat.img", false);
    struct OutOfMemory : CountingSink {
        void OnViewsStart() override { throw std::bad_alloc(); }  // called on the build's worker
    } starved;
    EXPECT_EQ(KivErrNo(m_ctl.FileInit(&starved)), KIV_E_NOMEMORY);
    EXPECT_EQ(m_ctl.Root(CKivResultController::VIEW_DIR), nullptr) << "no half-built view is offered";
    ASSERT_EQ(KivErrNo(m_ctl.FileInit(&m_sink)), 0u);
    CKivUiNode* dir = m_ctl.Root(CKivResultController::VIEW_DIR);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->GetChildren().size(), 1u);
}

TEST_F(CoreEndToEnd, RecoveryRefusesWhatTheWizardRefuses) {
    ScanImage(ImageDir() + "/fat.img");
    using V = CKivResultController;
    KivRecoverSummary sum;
    EXPECT_EQ(KivErrNo(m_ctl.Recover(V::VIEW_DIR, m_dest, &m_sink, nullptr, &sum)), KIV_E_NOSELECTION);
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, m_ctl.Root(V::VIEW_DIR), true), KIV_OK);
    EXPECT_EQ(KivErrNo(m_ctl.Recover(V::VIEW_DIR, m_dest + "/missing", &m_sink, nullptr, &sum)), KIV_E_NODESTFOLDER);
    EXPECT_EQ(KivErrNo(V::CheckDestination(m_bs, ImageDir() + "/fat.img", 1, nullptr)), KIV_E_NODESTFOLDER);
    // More than the destination holds: refused without a prompt to ask.
    EXPECT_EQ(KivErrNo(V::CheckDestination(m_bs, m_dest, UINT64_MAX / 2, nullptr)), KIV_E_NOSPACE);
    uint64_t nFree = 0;
    ASSERT_TRUE(V::FreeSpace(m_dest, &nFree));
    // Within the 110 % rule, with room to spare: tests running beside this one take free space
    // between the two reads.
    EXPECT_EQ(V::CheckDestination(m_bs, m_dest, nFree / 2, nullptr), KIV_OK);
    // The user may go on regardless, or say no to the destination and nothing is written.
    ScriptedPrompt prompt;
    prompt.bLowSpace = true;
    EXPECT_EQ(V::CheckDestination(m_bs, m_dest, UINT64_MAX / 2, &prompt), KIV_OK);
    ASSERT_EQ(prompt.asked, std::vector<KivQuestion>{KIV_ASK_LOW_SPACE});
    prompt.bRecoverInto = false;
    ASSERT_EQ(m_ctl.Recover(V::VIEW_DIR, m_dest, &m_sink, &prompt, &sum), KIV_OK);
    EXPECT_TRUE(sum.bDeclined);
    EXPECT_EQ(prompt.asked.back(), KIV_ASK_RECOVER_INTO);
    EXPECT_NE(prompt.texts.back().find(m_dest), std::string::npos);  // the hint names the folder
    EXPECT_TRUE(fs::is_empty(m_dest));

    // The same questions before any progress is shown: nothing is recovered, nothing reported.
    prompt.asked.clear();
    sum = {};
    ASSERT_EQ(m_ctl.ConfirmRecover(V::VIEW_DIR, m_dest, &prompt, &sum), KIV_OK);
    EXPECT_TRUE(sum.bDeclined);
    EXPECT_EQ(prompt.asked, std::vector<KivQuestion>{KIV_ASK_RECOVER_INTO});
    EXPECT_GT(sum.nFilesTicked, 0u);
    EXPECT_EQ(m_sink.lastRecover.nFilesTotal, 0u);
    EXPECT_TRUE(fs::is_empty(m_dest));
    EXPECT_EQ(KivErrNo(m_ctl.ConfirmRecover(V::VIEW_DIR, m_dest + "/missing", &prompt, &sum)), KIV_E_NODESTFOLDER);
}

// The desktop program's writers go through the core's one check of the medium being read: Save
// scan onto the image under another name, a report through a symbolic link to it, Recover into a
// FUSE mount of it. Each is refused with a reason naming both, and the image stays as it was.
TEST_F(CoreEndToEnd, NothingIsWrittenOntoTheMediumBeingRead) {
    using V = CKivResultController;
    std::string image = (m_tmp / "copy.img").string();
    fs::copy_file(ImageDir() + "/fat.img", image);
    ScanImage(image);
    ASSERT_EQ(m_bs.GetScanMediumPath(), image);
    std::string before = ReadAll(image);
    fs::create_hard_link(image, m_tmp / "hard.und");
    // Windows makes symbolic links only with a right the user may lack (and Wine makes none).
    std::error_code noLink;
    fs::create_symlink(image, m_tmp / "link.json", noLink);
#ifndef _WIN32
    ASSERT_FALSE(noLink) << noLink.message();
#endif

    std::string why;
    EXPECT_EQ(KivErrNo(CKivSessionDriver(m_bs).Save((m_tmp / "hard.und").string(), &why)), KIV_E_ONMEDIUM);
    EXPECT_NE(why.find(image), std::string::npos) << why;
    if (!noLink) {
        CKivRecoveryReport report;
        report.SetScan(m_bs.GetScanDevice(), image, {});
        EXPECT_FALSE(report.Save((m_tmp / "link.json").string(), &why));
        EXPECT_NE(why.find("link.json"), std::string::npos) << why;
        EXPECT_TRUE(fs::is_symlink(m_tmp / "link.json"));
    }
    EXPECT_TRUE(ReadAll(image) == before);

    std::string ntfs = (m_tmp / "ntfs.img").string(), mnt = (m_tmp / "mnt").string();
    fs::create_directory(mnt);
    if (std::system(("truncate -s 16M '" + ntfs + "' && mkntfs -q -F -f '" + ntfs + "' >/dev/null 2>&1 && "
                     "timeout 20 ntfs-3g '" + ntfs + "' '" + mnt + "' >/dev/null 2>&1").c_str()) != 0)
        return;  // no FUSE here: the command-line tests cover the mounts where they can
    m_bs.SetScanMediumPath(ntfs);
    ScriptedPrompt prompt;
    EXPECT_EQ(KivErrNo(V::CheckDestination(m_bs, mnt, 1, &prompt)), KIV_E_ONMEDIUM);
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, m_ctl.Root(V::VIEW_DIR), true), KIV_OK);
    KivRecoverSummary sum;
    EXPECT_EQ(KivErrNo(m_ctl.Recover(V::VIEW_DIR, mnt, &m_sink, &prompt, &sum)), KIV_E_ONMEDIUM);
    bool bEmpty = fs::is_empty(mnt);
    std::system(("fusermount -u '" + mnt + "'").c_str());
    EXPECT_TRUE(bEmpty);
    ASSERT_FALSE(prompt.texts.empty());
    EXPECT_NE(prompt.texts.back().find(ntfs), std::string::npos) << prompt.texts.back();
    EXPECT_TRUE(prompt.asked.empty());  // refused, not asked about
}

TEST_F(CoreEndToEnd, AStoppedRecoveryAnswersStopped) {
    ScanImage(ImageDir() + "/fat.img");
    using V = CKivResultController;
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, m_ctl.Root(V::VIEW_DIR), true), KIV_OK);
    m_sink.bStop = true;
    KivRecoverSummary sum;
    EXPECT_EQ(KivErrNo(m_ctl.Recover(V::VIEW_DIR, m_dest, &m_sink, nullptr, &sum)), KIV_E_STOPPED);
    EXPECT_TRUE(sum.bStopped);
    EXPECT_LE(sum.nFilesWritten, 1u);
}

TEST_F(CoreEndToEnd, ADeviceThatChangedIsNotScanned) {
    std::string copy = (m_tmp / "card.img").string();
    fs::copy_file(ImageDir() + "/fat.img", copy);
    ASSERT_EQ(m_bs.SetImagePaths({copy}, 0), KIV_OK);
    ASSERT_EQ(KivErrNo(m_bs.GetEnumDevData(nullptr, nullptr, nullptr, true)), 0u);
    m_bs.SetDevMode(0);
    ASSERT_EQ(m_bs.SetEnumDevResult(0), KIV_OK);
    ASSERT_EQ(KivErrNo(m_bs.GetFilterData(nullptr, nullptr)), 0u);
    ASSERT_EQ(m_bs.SetFilterResult(KivFilterSet{}), KIV_OK);
    fs::resize_file(copy, fs::file_size(copy) / 2);  // another card in the reader
    CProgressScan scan(m_bs, &m_sink);
    EXPECT_EQ(KivErrNo(scan.DoScan()), KIV_E_DEVCHANGED);
    EXPECT_EQ(m_sink.nScan.load(), 0);
}

TEST_F(CoreEndToEnd, NtfsLostFolderIsRecoveredUnderUnknownPath) {
    if (access((ImageDir() + "/ntfs/nofuse").c_str(), F_OK) == 0) GTEST_SKIP() << "no FUSE: the volume has no folders";
    ScanImage(ImageDir() + "/ntfs/ntfs.img");
    using V = CKivResultController;
    CKivUiNode* dir = m_ctl.Root(V::VIEW_DIR);
    std::string part = dir->GetChildren().at(0)->GetName();
    const CKivUiNode* lost = At(dir, part + "/Unknow path/Lost Dir1");
    ASSERT_NE(lost, nullptr);
    ASSERT_NE(Child(lost, "orphan.bin"), nullptr);
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, const_cast<CKivUiNode*>(lost), true), KIV_OK);
    KivRecoverSummary sum;
    ASSERT_EQ(KivErrNo(m_ctl.Recover(V::VIEW_DIR, m_dest, &m_sink, nullptr, &sum)), 0u);
    std::map<std::string, std::string> got = Tree(sum.folders.at(0));
    ASSERT_EQ(got.count("Unknow path/Lost Dir1/orphan.bin"), 1u);
    EXPECT_EQ(got["Unknow path/Lost Dir1/orphan.bin"].size(), 90000u);
    EXPECT_EQ(sum.nBytesWritten, sum.nBytesTicked);
    for (const auto& e : fs::recursive_directory_iterator(m_dest))
        EXPECT_EQ(e.path().string().find('{'), std::string::npos) << e.path();
}

TEST_F(CoreEndToEnd, ACutImageCountsEveryUnreadableFileWithItsReason) {
    std::string cut = (m_tmp / "cut.img").string();
    fs::copy_file(ImageDir() + "/fat.img", cut);
    // Cut in the middle of a file the tree still lists.
    std::string image = ReadAll(cut), doc = ReadAll(ImageDir() + "/fat-src/Docs/report.pdf");
    ASSERT_GT(doc.size(), 1024u);
    size_t at = image.find(doc.substr(0, 512));
    ASSERT_NE(at, std::string::npos);
    fs::resize_file(cut, (at + doc.size() / 2) / 512 * 512);
    ScanImage(cut);
    using V = CKivResultController;
    ASSERT_EQ(m_ctl.SetTick(V::VIEW_DIR, m_ctl.Root(V::VIEW_DIR), true), KIV_OK);
    KivRecoverSummary sum;
    m_ctl.Recover(V::VIEW_DIR, m_dest, &m_sink, nullptr, &sum);
    EXPECT_GT(sum.nFailed + sum.nDamaged, 0u) << "the cut left every file readable";
    EXPECT_FALSE(sum.bDestStopped);
    EXPECT_EQ(sum.nFailed, m_sink.failed.size());
    EXPECT_EQ(sum.nDamaged, m_sink.damaged.size());
    // Every file ticked is either written (whole or counted damaged) or counted failed.
    EXPECT_EQ(sum.nFilesWritten + sum.nFailed, sum.nFilesTicked);
    for (const std::string& why : m_sink.reasons) EXPECT_FALSE(why.empty());
    for (const std::string& path : m_sink.failed) EXPECT_FALSE(fs::exists(path)) << path;
}
