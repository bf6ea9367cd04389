// The desktop program driven as a user drives it, on Qt's offscreen platform: the whole wizard
// over a disk image added through the image button, the refusals of each page, the preview's
// size limit, the destination's free-space rule, single instance and the exit check.
#include <QCheckBox>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QToolButton>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "CDataBackstage.h"
#include "CDlgSelectDir.h"
#include "CKivFileTypeChoice.h"
#include "CKivResultController.h"
#include "CKivScanSession.h"
#include "CKivSessionDriver.h"
#include "CProgressScan.h"
#include "CKivNodeModel.h"
#include "CKivNodeSorter.h"
#include "CKivThumbModel.h"
#include "CKivThumbnailer.h"
#include "CKivUserPrefs.h"
#include "CKivSkin.h"
#include "CKivUiNode.h"
#include "CPanelEnumDev.h"
#include "CPanelFileRes.h"
#include "CPanelFileType.h"
#include "CPanelFinal.h"
#include "CPanelHome.h"
#include "CPanelMgr.h"
#include "CPanelProcess.h"
#include "CUndeliaApp.h"
#include "CUndeliaDlg.h"
#include "DesktopDriver.h"
#include "DesktopImages.h"
#include "KivUiCodes.h"
#include "platform/KivNamedLock.h"

namespace fs = std::filesystem;
using namespace kivdesk_test;
using View = CKivResultController::View;

namespace {

QString Err(uint32_t n) { return CKivSkin::ErrorText(KivMakeCode(0, KIV_MOD_UI, n)); }

// The node of a path below the model's root ("FAT16 1/Photos"); a name part of "*x" matches a
// name ending in x (deleted FAT entries lose their first letter).
CKivUiNode* Find(CKivUiNode* root, const QString& path) {
    CKivUiNode* cur = root;
    for (const QString& part : path.split('/')) {
        CKivUiNode* next = nullptr;
        for (CKivUiNode* c : cur ? cur->GetChildren() : std::vector<CKivUiNode*>{}) {
            QString name = QString::fromUtf8(c->GetName());
            if (part.startsWith('*') ? name.endsWith(part.mid(1)) : name == part) next = c;
        }
        cur = next;
    }
    return cur;
}

// Every node below the root as "path size", in order.
void Names(const CKivUiNode* p, const QString& at, QStringList* pOut) {
    for (const CKivUiNode* c : p->GetChildren()) {
        QString path = at + "/" + QString::fromUtf8(c->GetName());
        *pOut << path + " " + QString::number(c->GetSize());
        Names(c, path, pOut);
    }
}
QStringList Names(const CKivUiNode* root) {
    QStringList out;
    if (root) Names(root, "", &out);
    return out;
}

// Scans the image as a whole disk for every type in a back-stage of its own; stops after the
// block when nStopAt is not 0.
class StopAt : public IKivProgressSink {
public:
    explicit StopAt(uint64_t n) : m_n(n) {}
    void OnScanProgress(const KivScanProgress& p) override { m_bStop = m_bStop || (m_n && p.nPos >= m_n); }
    bool IsStopRequested() override { return m_bStop; }

private:
    uint64_t m_n;
    bool m_bStop = false;
};
bool ScanOnItsOwn(CDataBackstage& bs, const std::string& image, uint64_t nStopAt) {
    bs.SetImagePaths({image}, 0);
    std::vector<DiskInfo> disks;
    if (KivFailed(bs.GetEnumDevData(&disks, nullptr, nullptr, true)) || disks.size() != 1) return false;
    bs.SetDevMode(0);
    IKivFilter* pFilter = nullptr;
    std::vector<FilterItem> catalogue;
    if (KivFailed(bs.SetEnumDevResult(0)) || KivFailed(bs.GetFilterData(&pFilter, &catalogue))) return false;
    CKivFileTypeChoice choice;
    choice.Load(catalogue);
    choice.SetAll(true);
    KivFilterSet set;
    if (KivFailed(choice.FilterBuild(pFilter, &set)) || KivFailed(bs.SetFilterResult(set))) return false;
    StopAt sink(nStopAt);
    CProgressScan scan(bs, &sink);
    return KivSucceeded(scan.DoScan());
}

// Every file below a folder, by path relative to it.
std::map<std::string, std::string> Tree(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = ReadAll(e.path().string());
    return out;
}

}  // namespace

class CDesktopTest : public QObject {
    Q_OBJECT

    CUndeliaDlg* m_pDlg = nullptr;
    CDesktopDriver m_drv;
    QTemporaryDir m_out;
    QTemporaryDir m_saved;  // session files

    CPanelProcess* P() const { return m_pDlg->Panels(); }
    CPanelMgr* Mgr() const { return P()->Mgr(); }

private slots:
    void initTestCase() {
        QVERIFY2(!ImageDir().empty(), "the test images could not be made");
        m_pDlg = new CUndeliaDlg;
        m_pDlg->show();
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Home()));
    }
    void cleanupTestCase() { delete m_pDlg; }
    void init() { m_drv.Clear(); }

    void secondInstanceIsRefusedWithTheRunningText() {
        std::unique_ptr<CKivNamedLock> first, second;
        QVERIFY(CUndeliaApp::TakeInstanceLock(&first));
        QVERIFY(!CUndeliaApp::TakeInstanceLock(&second));
        QVERIFY(!second);
        QCOMPARE(m_drv.messages, QStringList{Err(KIV_E_RUNNING)});
        // The first copy keeps its lock; once it ends another may start.
        first.reset();
        QVERIFY(CUndeliaApp::TakeInstanceLock(&second));
    }

    void exitAnsweredNoKeepsThePanel() {
        m_drv.answer = [](const QString&) { return false; };
        CPanelBase* pBefore = Mgr()->Current();
        m_pDlg->reject();
        QCOMPARE(m_drv.questions, QStringList{CKivSkin::Hint("DlgMsg", "ExitCheck")});
        QVERIFY(m_pDlg->isVisible());
        QCOMPARE(Mgr()->Current(), pBefore);
        m_drv.answer = [](const QString&) { return true; };
    }

    void theWindowFollowsItsSizeDownTo800x600() {
        QVERIFY(m_pDlg->minimumSize().width() <= 800 && m_pDlg->minimumSize().height() <= 600);
        QVERIFY(m_pDlg->maximumSize().width() > 1920);
        const QSize skin = CKivSkin::Get().WindowSize();
        for (QSize size : {QSize(800, 600), skin, QSize(1600, 1000)}) {
            m_pDlg->resize(size);
            QCOMPARE(m_pDlg->size(), size);
            QCoreApplication::processEvents();
            const QRect inside(QPoint(0, 0), size);
            for (CPanelBase* p : std::initializer_list<CPanelBase*>{P()->EnumDev(), P()->FileType(), P()->FileRes(), P()->Final()})
                for (QWidget* w : {static_cast<QWidget*>(p->BackButton()), static_cast<QWidget*>(p->NextButton())}) {
                    QRect r(w->mapTo(m_pDlg, QPoint(0, 0)), w->size());
                    QVERIFY2(inside.contains(r), qPrintable(p->objectName() + " " + w->objectName()));
                }
            QWidget* close = m_pDlg->findChild<QToolButton*>("BtnClose");
            QVERIFY(inside.contains(QRect(close->mapTo(m_pDlg, QPoint(0, 0)), close->size())));
        }
        // The lists grow with the window and shrink with it, keeping their margins.
        QWidget* tabs = P()->FileRes()->findChild<QWidget*>("ResultTabs");
        m_pDlg->resize(800, 600);
        const QSize small = tabs->size();
        m_pDlg->resize(1600, 1000);
        QCOMPARE(tabs->size() - small, QSize(800, 400));
        // Kept for the next start; a window of this size opens again at it.
        m_pDlg->resize(790, 590);
        m_pDlg->RememberSize();
        CKivUserPrefs again;
        QVERIFY(again.Load(CKivUserPrefs::Get().Path()));
        QCOMPARE(again.GetInt(CKivUserPrefs::kWindowWidth, 0), int64_t(790));
        QCOMPARE(m_pDlg->InitialSize(), QSize(790, 590));
        m_pDlg->resize(skin);
    }

    void theCaptionButtonsComeLastInTheTabOrder() {
        QStringList chain;
        QWidget* start = P()->Home()->DevicesButton();
        QWidget* w = start;
        do {
            if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w && w != start);
        QVERIFY2(chain.size() >= 6, qPrintable(chain.join(' ')));
        QCOMPARE(chain.mid(chain.size() - 4), (QStringList{"BtnOption", "BtnMin", "BtnMax", "BtnClose"}));
        QCOMPARE(chain.first(), QString("HomeCard"));
    }

    void backOnTheFirstPanelSaysSo() {
        Mgr()->GoBack();
        QCOMPARE(m_drv.messages, QStringList{CKivSkin::Hint("Panel", "TopPage")});
        QVERIFY(m_drv.messages[0].contains(' '));  // a sentence, not a bare word
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Home()));
    }

    void deviceNextWithoutSelectionShowsTheModeHint() {
        P()->Home()->DevicesButton()->click();
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->EnumDev()));
        QVERIFY(!P()->EnumDev()->InfoText().isEmpty());  // no disk here: says how to go on
        Mgr()->GoNext();
        QCOMPARE(m_drv.messages, QStringList{CKivSkin::Hint("PanelEnumDev", "DevicesNextNoSelect")});
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->EnumDev()));
    }

    void aScanThatFindsNothingStaysOnTheFileTypes() {
        QVERIFY(P()->EnumDev()->AddImage(QString::fromStdString(ImageDir() + "/empty.img")));
        QCOMPARE(P()->EnumDev()->List()->topLevelItemCount(), 1);
        Mgr()->GoNext();
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->FileType()));
        // Nothing ticked.
        Mgr()->GoNext();
        QCOMPARE(m_drv.messages, QStringList{Err(KIV_E_NOTYPE)});
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->FileType()));
        m_drv.Clear();
        P()->FileType()->SelectAll()->click();
        Mgr()->GoNext();
        QCOMPARE(m_drv.messages.size(), 1);
        QVERIFY2(m_drv.messages[0].startsWith(Err(KIV_E_NOTHINGFOUND).section('(', 0, 0)), qPrintable(m_drv.messages[0]));
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->FileType()));
        P()->FileType()->SelectAll()->click();
    }

    void theWizardBringsTheDeletedFilesBack() {
        Mgr()->GoBack();
        QVERIFY(P()->EnumDev()->AddImage(QString::fromStdString(ImageDir() + "/disk.img")));
        QCOMPARE(P()->EnumDev()->List()->topLevelItemCount(), 2);
        QVERIFY(P()->EnumDev()->List()->currentItem()->text(1).contains("disk.img"));
        Mgr()->GoNext();
        QVERIFY(P()->FileType()->TickGroup("Pictures", true));
        QVERIFY(P()->FileType()->TickGroup("Documents", true));
        QCOMPARE(P()->FileType()->List()->topLevelItem(0)->checkState(0), Qt::Checked);
        Mgr()->GoNext();
        QVERIFY2(m_drv.messages.isEmpty(), qPrintable(m_drv.messages.join('\n')));
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->FileRes()));

        CPanelFileRes* res = P()->FileRes();
        QCOMPARE(res->CurrentView(), View::VIEW_DIR);
        CKivNodeModel* m = res->Model(View::VIEW_DIR);
        QVERIFY(m);
        QCOMPARE(m->rowCount(), 1);
        CKivUiNode* part = m->Node(m->index(0, 0));
        QString partName = QString::fromUtf8(part->GetName());
        CKivUiNode* photos = Find(m->Root(), partName + "/Photos");
        CKivUiNode* gone = Find(m->Root(), partName + "/*ONE.JPG");
        if (!gone) gone = Find(m->Root(), partName + "/*one.jpg");
        QVERIFY(photos);
        QVERIFY2(gone, "the deleted picture is not in the folder view");
        QModelIndex gi = m->IndexOf(gone, CKivNodeModel::COL_STATE);
        QCOMPARE(m->data(gi, Qt::DisplayRole).toString(), CKivSkin::Get().Text("PanelFileRes", "TxtDeleted"));

        // Nothing ticked yet.
        Mgr()->GoNext();
        QCOMPARE(m_drv.messages, QStringList{Err(KIV_E_NOSELECTION)});
        m_drv.Clear();

        // A folder and the deleted file, ticked as a click on their boxes does.
        QVERIFY(m->setData(m->IndexOf(photos), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(m->setData(m->IndexOf(gone), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(m->data(m->IndexOf(part), Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
        QCOMPARE(m->data(m->IndexOf(photos), Qt::CheckStateRole).toInt(), int(Qt::Checked));
        const std::string src = ImageDir() + "/src/";
        uint64_t nBytes = fs::file_size(src + "Photos/beach.jpg") + fs::file_size(src + "Photos/sunset.png") +
                          fs::file_size(src + "gone.jpg");
        uint64_t nFiles = 0, nTicked = 0;
        res->Controller()->GetTotals(View::VIEW_DIR, &nFiles, &nTicked);
        QCOMPARE(nFiles, uint64_t(3));
        QCOMPARE(nTicked, nBytes);
        QVERIFY2(res->TotalsText().startsWith("3 files "), qPrintable(res->TotalsText()));
        QVERIFY(m->setData(m->IndexOf(photos), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY2(res->TotalsText().startsWith("1 file selected"), qPrintable(res->TotalsText()));
        QVERIFY(m->setData(m->IndexOf(photos), Qt::Checked, Qt::CheckStateRole));
        // A complete scan says so, counting what the folder view lists.
        QCOMPARE(res->ScanStateText(), CKivSkin::HintArg("PanelFileRes", "ScanComplete",
                                                         QString::number(res->Controller()->FilesListed())));
        QVERIFY(!res->GoOnButton()->isVisible());

        m_drv.strDestination = m_out.path();
        QTemporaryDir reportDir;
        const QString report = reportDir.filePath("recovery.json");
        m_drv.strReport = report;
        Mgr()->GoNext();
        QCOMPARE(m_drv.nDestTries, 1);
        QCOMPARE(m_drv.reportSaved, QList<bool>{true});
        QCOMPARE(m_drv.messages, QStringList{CKivSkin::HintArg("PanelFileRes", "ReportDone", report)});
        QCOMPARE(m_drv.questions.size(), 1);  // recover into this folder?
        QCOMPARE(m_drv.nAskedOverProgress, 0);  // asked before the progress window opens
        QCOMPARE(m_drv.results.size(), 1);
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Final()));
        QVERIFY(P()->Final()->SummaryText().contains(m_out.path()));

        auto dirs = QDir(m_out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(dirs.size(), 1);
        auto got = Tree(fs::path(m_out.path().toStdString()) / dirs[0].toStdString());
        QCOMPARE(got.size(), size_t(3));
        QVERIFY(got["Photos/beach.jpg"] == ReadAll(src + "Photos/beach.jpg"));
        QVERIFY(got["Photos/sunset.png"] == ReadAll(src + "Photos/sunset.png"));
        bool bGone = false;
        for (const auto& [path, bytes] : got)
            if (path.find("Photos/") != 0) bGone = bytes == ReadAll(src + "gone.jpg");
        QVERIFY2(bGone, "the deleted picture did not come back whole");

        // The report of the result dialog's button: each file written, with the hash of what is on disk.
        QFile rf(report);
        QVERIFY(rf.open(QIODevice::ReadOnly));
        QJsonObject doc = QJsonDocument::fromJson(rf.readAll()).object();
        QCOMPARE(doc["program"].toObject()["name"].toString(), QString("Undelia"));
        QJsonArray files = doc["files"].toArray();
        QCOMPARE(files.size(), 3);
        int nDeleted = 0;
        for (const QJsonValue& v : files) {
            QJsonObject f = v.toObject();
            QFile out(f["output"].toString());
            QVERIFY2(out.open(QIODevice::ReadOnly), qPrintable(f["output"].toString()));
            QCOMPARE(f["sha256"].toString(),
                     QString(QCryptographicHash::hash(out.readAll(), QCryptographicHash::Sha256).toHex()));
            nDeleted += f["state"].toString() == "deleted";
        }
        QCOMPARE(nDeleted, 1);
        QVERIFY(!doc["partitions"].toArray().isEmpty());
    }

    void thePreviewStopsAtTwentyMebibytes() {
        Mgr()->GoBack();
        CPanelFileRes* res = P()->FileRes();
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(res));
        CKivNodeModel* m = res->Model(View::VIEW_DIR);
        QString partName = QString::fromUtf8(m->Node(m->index(0, 0))->GetName());
        CKivUiNode* limit = Find(m->Root(), partName + "/Docs/limit.txt");
        CKivUiNode* over = Find(m->Root(), partName + "/Docs/over.txt");
        QVERIFY(limit && over);
        QCOMPARE(limit->GetSize(), uint64_t(20971520));
        QCOMPARE(over->GetSize(), uint64_t(20971521));
        QCOMPARE(KivErrNo(res->Preview(limit)), 0u);
        QCOMPARE(m_drv.previewKinds, QList<int>{CDlgShowStateInfo::KIND_TEXT});
        QVERIFY(m_drv.messages.isEmpty());
        // Emptied when the preview closed.
        QVERIFY(QDir(QString::fromStdString(CKivResultController::PreviewFolder())).entryList(QDir::Files).isEmpty());
        QCOMPARE(KivErrNo(res->Preview(over)), 0u);
        QCOMPARE(m_drv.messages, QStringList{CKivSkin::Hint("PanelFileRes", "PrivewSizeLimit")});
        QCOMPARE(m_drv.previewKinds.size(), 1);

        // A picture is shown as one.
        CKivUiNode* beach = Find(m->Root(), partName + "/Photos/beach.jpg");
        QCOMPARE(KivErrNo(res->Preview(beach)), 0u);
        QCOMPARE(m_drv.previewKinds.last(), int(CDlgShowStateInfo::KIND_IMAGE));
    }

    void theFilterListsWhatPassesInItsTab() {
        CPanelFileRes* res = P()->FileRes();
        QCOMPARE(KivErrNo(res->ApplyFilter([] {
                     CKivResultFilter f;
                     f.SetKey("sunset");
                     return f;
                 }())),
                 0u);
        QCOMPARE(res->CurrentView(), View::VIEW_FILTER);
        CKivNodeModel* m = res->Model(View::VIEW_FILTER);
        QCOMPARE(m->rowCount(), 1);
        QCOMPARE(m->data(m->index(0, 0), Qt::DisplayRole).toString(), QString("sunset.png"));
        // Nothing passes: said, and the tab goes away.
        CKivResultFilter none;
        none.SetKey("no such name");
        QCOMPARE(KivErrNo(res->ApplyFilter(none)), uint32_t(KIV_E_NOTHINGFOUND));
        QCOMPARE(m_drv.messages.size(), 1);
        QVERIFY(!res->Model(View::VIEW_FILTER));
        res->ShowView(View::VIEW_DIR);
    }

    void aScanSavedOnTheResultsComesBackFromHome() {
        CPanelFileRes* res = P()->FileRes();
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(res));
        const QStringList before = Names(res->Model(View::VIEW_DIR)->Root());
        QVERIFY(!before.isEmpty());
        // The button asks where; cancelled, nothing is written or said.
        auto* pSave = res->findChild<QPushButton*>("BtnSaveScan");
        QVERIFY(pSave && pSave->isVisible());
        pSave->click();
        QVERIFY2(m_drv.messages.isEmpty(), qPrintable(m_drv.messages.join('\n')));
        QVERIFY(QDir(m_saved.path()).isEmpty());

        const QString file = m_saved.path() + "/disk.und";
        QVERIFY(res->SaveScan(file));
        QCOMPARE(m_drv.messages.size(), 1);
        QVERIFY2(m_drv.messages[0].contains(file), qPrintable(m_drv.messages[0]));
        m_drv.Clear();
        // Where nothing can be written, the reason is shown.
        QVERIFY(!res->SaveScan(m_saved.path() + "/no/such/folder/x.und"));
        QCOMPARE(m_drv.messages.size(), 1);
        QVERIFY2(m_drv.messages[0].startsWith(CKivSkin::HintArg("PanelFileRes", "SaveScanFailed", "")),
                 qPrintable(m_drv.messages[0]));
        m_drv.Clear();

        Mgr()->Show(P()->Home());
        P()->Home()->OpenScanButton()->click();
        QVERIFY(m_drv.messages.isEmpty());
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Home()));
        // A complete scan goes straight to the results, with nothing scanned again.
        QVERIFY(P()->Home()->OpenScan(file));
        QVERIFY2(m_drv.messages.isEmpty(), qPrintable(m_drv.messages.join('\n')));
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(res));
        QCOMPARE(Names(res->Model(View::VIEW_DIR)->Root()), before);
    }

    void anUnfinishedSavedScanGoesOnInTheScanDialog() {
        const std::string image = ImageDir() + "/disk.img";
        QStringList whole;
        {
            CDataBackstage bs;
            QVERIFY(ScanOnItsOwn(bs, image, 0));
            CKivResultController ctl(bs);
            QCOMPARE(KivErrNo(ctl.FileInit(nullptr)), 0u);
            whole = Names(ctl.Root(View::VIEW_DIR));
        }
        const QString file = m_saved.path() + "/stopped.und";
        {
            CDataBackstage bs;
            QVERIFY(ScanOnItsOwn(bs, image, 1));
            std::string why;
            QCOMPARE(KivErrNo(CKivSessionDriver(bs).Save(file.toStdString(), &why)), 0u);
        }
        CKivScanSession s;
        std::string why;
        QVERIFY(s.Load(file.toStdString(), &why));
        QVERIFY(!s.bComplete);

        Mgr()->Show(P()->Home());
        QVERIFY(P()->Home()->OpenScan(file));
        QVERIFY2(m_drv.messages.isEmpty(), qPrintable(m_drv.messages.join('\n')));
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->FileRes()));
        QCOMPARE(Names(P()->FileRes()->Model(View::VIEW_DIR)->Root()), whole);
        // The file kept up with the scan.
        QVERIFY(s.Load(file.toStdString(), &why));
        QVERIFY(s.bComplete);
    }

    void wrongDamagedAndForeignSavedScansAreRefused() {
        const QString good = m_saved.path() + "/disk.und";
        std::string bytes = ReadAll(good.toStdString());
        QVERIFY(!bytes.empty());
        auto refused = [&](const QString& file, const QString& word) {
            m_drv.Clear();
            Mgr()->Show(P()->Home());
            QVERIFY(!P()->Home()->OpenScan(file));
            QCOMPARE(m_drv.messages.size(), 1);
            const QString& m = m_drv.messages[0];
            QVERIFY2(m.startsWith(CKivSkin::HintArg("PanelHome", "OpenScanFailed", "")) && m.contains(word), qPrintable(m));
            QVERIFY(!m.contains('\n'));
            QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Home()));
        };
        std::string flipped = bytes;
        flipped[flipped.size() / 2] ^= 0x10;
        std::ofstream((m_saved.path() + "/flipped.und").toStdString(), std::ios::binary) << flipped;
        refused(m_saved.path() + "/flipped.und", "damaged");
        std::ofstream((m_saved.path() + "/notes.txt").toStdString()) << "shopping list\n";
        refused(m_saved.path() + "/notes.txt", "not a scan session");
        // Saved for the disk image, opened with another one in its place.
        CKivScanSession s;
        std::string why;
        QVERIFY(s.Load(good.toStdString(), &why));
        s.medium.strPath = ImageDir() + "/empty.img";
        QVERIFY(s.Save((m_saved.path() + "/other.und").toStdString(), &why));
        refused(m_saved.path() + "/other.und", "empty.img");
        s.medium.strPath = m_saved.path().toStdString() + "/gone.img";
        QVERIFY(s.Save((m_saved.path() + "/gone.und").toStdString(), &why));
        refused(m_saved.path() + "/gone.und", "gone.img");
        m_drv.Clear();
        // What was shown before stays shown.
        Mgr()->Show(P()->FileRes());
        QVERIFY(P()->FileRes()->Model(View::VIEW_DIR));
        QVERIFY(m_drv.messages.isEmpty());
    }

    void backFromTheResultsKeepsTheScan() {
        CPanelFileRes* res = P()->FileRes();
        Mgr()->Show(res);
        // The scan shown was made for every type: the page's own choice scans anew.
        auto backAndNext = [&] {
            Mgr()->GoBack();
            QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->FileType()));
            Mgr()->GoNext();
            QVERIFY2(m_drv.messages.isEmpty(), qPrintable(m_drv.messages.join('\n')));
            QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(res));
        };
        backAndNext();
        QPointer<CKivNodeModel> before = res->Model(View::VIEW_DIR);
        QVERIFY(before);
        backAndNext();
        QVERIFY(before && res->Model(View::VIEW_DIR) == before.data());  // the same device and types: kept
        P()->FileType()->TickGroup("Audio", true);
        backAndNext();
        QVERIFY(!before);  // other types: scanned again
        P()->FileType()->TickGroup("Audio", false);
    }

    void theColumnsSortTheView() {
        CPanelFileRes* res = P()->FileRes();
        CKivNodeModel* m = res->Model(View::VIEW_DIR);
        QTreeView* tree = res->Tree(View::VIEW_DIR);
        CKivUiNode* part = m->Node(m->index(0, 0));
        CKivUiNode* docs = Find(m->Root(), QString::fromUtf8(part->GetName()) + "/Docs");
        QVERIFY(docs && docs->GetChildren().size() >= 4);
        tree->expand(m->IndexOf(docs));
        CKivUiNode* over = Find(m->Root(), QString::fromUtf8(part->GetName()) + "/Docs/over.txt");
        tree->setCurrentIndex(m->IndexOf(over));
        // A click on the header, twice: by size, largest first.
        tree->header()->setSortIndicator(CKivNodeModel::COL_SIZE, Qt::AscendingOrder);
        tree->header()->setSortIndicator(CKivNodeModel::COL_SIZE, Qt::DescendingOrder);
        const auto& kids = docs->GetChildren();
        for (size_t i = 1; i < kids.size(); ++i) QVERIFY(kids[i - 1]->GetSize() >= kids[i]->GetSize());
        QCOMPARE(QString::fromUtf8(kids[0]->GetName()), QString("over.txt"));
        QCOMPARE(m->Node(tree->currentIndex()), over);  // the row the user was on stays chosen
        // Folders stay first; names compare with numbers by value.
        for (size_t i = 1; i < part->GetChildren().size(); ++i)
            QVERIFY(!part->GetChildren()[i - 1]->IsFile() || part->GetChildren()[i]->IsFile());
        QVERIFY(CKivNodeSorter::CompareNames("501-1000", "1001-1500") < 0);
        QVERIFY(CKivNodeSorter::CompareNames("photo10.jpg", "Photo9.jpg") > 0);
        // Red is for what is gone; the folder that merely holds it is marked, not red.
        QCOMPARE(part->GetLook(), uint8_t(CKivUiNode::LOOK_HOLDS_GONE));
        QVERIFY(!m->data(m->IndexOf(part), Qt::ForegroundRole).isValid());
        QCOMPARE(m->data(m->IndexOf(part, CKivNodeModel::COL_STATE), Qt::DisplayRole).toString(),
                 CKivSkin::Get().Text("PanelFileRes", "TxtHoldsDeleted"));
        QVERIFY(!m->data(m->IndexOf(docs), Qt::ForegroundRole).isValid());
    }

    void picturesAreTickedWithTheFolders() {
        CPanelFileRes* res = P()->FileRes();
        CKivNodeModel* dir = res->Model(View::VIEW_DIR);
        CKivThumbModel* pics = res->PicturesModel();
        QVERIFY(pics);
        QString partName = QString::fromUtf8(dir->Node(dir->index(0, 0))->GetName());
        CKivUiNode* beach = Find(dir->Root(), partName + "/Photos/beach.jpg");
        CKivUiNode* broken = Find(dir->Root(), partName + "/broken.jpg");
        QVERIFY(beach && broken && pics->IndexOf(beach).isValid() && pics->IndexOf(broken).isValid());
        res->ShowPictures();
        QCOMPARE(res->CurrentView(), View::VIEW_DIR);
        // A tick on the picture is a tick in the folder view, and back.
        QVERIFY(dir->setData(dir->IndexOf(Find(dir->Root(), partName + "/Photos")), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(pics->setData(pics->IndexOf(beach), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(beach->GetState(), uint8_t(CKivUiNode::STATE_TICKED));
        QCOMPARE(dir->data(dir->IndexOf(beach), Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY2(res->TotalsText().contains(QString::number(1)), qPrintable(res->TotalsText()));
        QVERIFY(dir->setData(dir->IndexOf(beach), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(pics->data(pics->IndexOf(beach), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        // Made on the worker from the medium: a picture, and one that is none shown as such.
        for (CKivUiNode* p : {beach, broken}) pics->data(pics->IndexOf(p), Qt::DecorationRole);
        QTRY_COMPARE_WITH_TIMEOUT(pics->data(pics->IndexOf(beach), CKivThumbModel::ROLE_THUMB).toInt(),
                                  int(CKivThumbModel::THUMB_READY), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(pics->data(pics->IndexOf(broken), CKivThumbModel::ROLE_THUMB).toInt(),
                                  int(CKivThumbModel::THUMB_FAILED), 10000);
        QCOMPARE(pics->data(pics->IndexOf(beach), Qt::DecorationRole).value<QPixmap>().isNull(), false);
        QVERIFY(!pics->data(pics->IndexOf(broken), Qt::AccessibleDescriptionRole).toString().isEmpty());
        res->ShowView(View::VIEW_DIR);
    }

    void tenThousandPicturesAskOnlyForWhatIsShown() {
        CKivUiNode* root = CKivUiNode::NewFolder(CKivUiNode::KIND_DIR, "many");
        std::vector<CKivUiNode*> files;
        for (int i = 0; i < 10000; ++i) {
            files.push_back(CKivUiNode::NewFolder(CKivUiNode::KIND_FILE, "p" + std::to_string(i) + ".jpg"));
            root->AppendChild(files.back());
        }
        {
            CKivThumbModel model(nullptr, nullptr, files, nullptr);
            QListView view;
            view.setViewMode(QListView::IconMode);
            view.setUniformItemSizes(true);
            view.setGridSize(QSize(CKivThumbModel::kSide + 28, CKivThumbModel::kSide + 40));
            view.setIconSize(QSize(CKivThumbModel::kSide, CKivThumbModel::kSide));
            view.setResizeMode(QListView::Adjust);
            view.resize(800, 600);
            view.setModel(&model);
            view.show();
            QCoreApplication::processEvents();
            view.grab();
            QVERIFY2(model.Asked() > 0 && model.Asked() < 100, qPrintable(QString::number(model.Asked())));
            view.scrollToBottom();
            view.grab();
            QVERIFY2(model.Asked() < 200, qPrintable(QString::number(model.Asked())));
        }
        root->Release();
    }

    void aStoppedScanSaysHowFarItGot() {
        CDataBackstage bs;
        QVERIFY(ScanOnItsOwn(bs, ImageDir() + "/disk.img", 1));
        CKivResultController ctl(bs);
        QCOMPARE(KivErrNo(ctl.FileInit(nullptr)), 0u);
        unsigned nPct = 100;
        QVERIFY(ctl.ScanStopped(&nPct));
        QVERIFY(nPct < 100);
        QString text = QString::fromStdString(ctl.ScanStateText());
        QVERIFY2(text.startsWith(QString("Scan stopped at %1 %").arg(nPct)), qPrintable(text));
        QVERIFY(text.contains(QString::number(ctl.FilesListed())));
    }

    void theDestinationNeedsRoomForOneHundredTenPercent() {
        const std::string dir = m_out.path().toStdString();
        // Free space moves under other processes: measured before and after, retried when it did.
        for (int nTry = 0; nTry < 5; ++nTry) {
            m_drv.Clear();
            uint64_t nFree = 0, nAfter = 0;
            QVERIFY(CKivResultController::FreeSpace(dir, &nFree));
            uint64_t nFits = nFree / 110 * 100;  // 110 % of it is at most what is free
            CDlgSelectDir fits(nFits, m_pDlg);
            fits.SetFolder(m_out.path());
            fits.OnOk();
            bool bAccepted = fits.result() == QDialog::Accepted;
            m_drv.answer = [](const QString&) { return false; };
            CDlgSelectDir tooMuch(nFree / 110 * 100 + 200, m_pDlg);
            tooMuch.SetFolder(m_out.path());
            tooMuch.show();
            tooMuch.OnOk();
            m_drv.answer = [](const QString&) { return true; };
            QVERIFY(CKivResultController::FreeSpace(dir, &nAfter));
            if (nAfter != nFree) continue;
            QVERIFY(bAccepted);
            QCOMPARE(m_drv.questions, QStringList{CKivSkin::Hint("DlgSelectDir", "Capcity")});
            QVERIFY(tooMuch.result() != QDialog::Accepted);
            return;
        }
        QSKIP("the free space kept changing");
    }

    void aMissingFolderIsOfferedForCreation() {
        const QString missing = m_out.path() + "/new/deeper";
        {
            CDlgSelectDir dlg(1, m_pDlg);
            dlg.SetFolder(missing);
            m_drv.answer = [](const QString&) { return false; };
            dlg.OnOk();
            m_drv.answer = [](const QString&) { return true; };
            QCOMPARE(m_drv.questions, QStringList{CKivSkin::HintArg("DlgSelectDir", "CreateFolder", missing)});
            QVERIFY(dlg.result() != QDialog::Accepted);
            QVERIFY(!QFileInfo::exists(missing));
            m_drv.Clear();
            dlg.OnOk();
            QCOMPARE(m_drv.questions.size(), 1);
            QVERIFY(QFileInfo(missing).isDir());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        // Opens where it was left; Return in the field goes to the folder typed, not on.
        CDlgSelectDir dlg(1, m_pDlg);
        QCOMPARE(dlg.Folder(), missing);
        dlg.show();
        auto* edit = dlg.findChild<QLineEdit*>("DestPath");
        edit->setText(m_out.path());
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.Folder(), m_out.path());
        QVERIFY(!edit->hasFocus());
        // Where nothing can be made, the reason is shown.
        m_drv.Clear();
        dlg.SetFolder("/proc/undelia-test");
        dlg.OnOk();
        QCOMPARE(m_drv.messages.size(), 1);
        QVERIFY2(m_drv.messages[0].startsWith(CKivSkin::HintArg("DlgSelectDir", "CreateFailed", "")), qPrintable(m_drv.messages[0]));
        QVERIFY(dlg.isVisible());
        dlg.reject();
    }

    void nextOnTheFinalPanelGoesRoundToHome() {
        Mgr()->Show(P()->Final());
        QCOMPARE(P()->Final()->NextButton()->text(), CKivSkin::Get().Text("Panel", "BtnStartOverText"));
        Mgr()->GoNext();
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Home()));
    }

    void theKeyboardWalksTheWizard() {
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Home()));
        // Space on a card chooses it; the partition list then shows the image's volume.
        QTest::keyClick(P()->Home()->FilesButton(), Qt::Key_Space);
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->EnumDev()));
        QCOMPARE(P()->EnumDev()->Caption(), CKivSkin::Get().Text("PanelEnumDev", "TitleParts"));
        QCOMPARE(P()->EnumDev()->List()->topLevelItemCount(), 1);
        // Esc is Back, from inside the list too.
        QTest::keyClick(P()->EnumDev()->List(), Qt::Key_Escape);
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->Home()));
        QTest::keyClick(P()->Home()->FilesButton(), Qt::Key_Space);
        // Enter on a row is one Next, not two (the scan would start on the page after).
        P()->EnumDev()->List()->setCurrentItem(P()->EnumDev()->List()->topLevelItem(0));
        QTest::keyClick(P()->EnumDev()->List(), Qt::Key_Return);
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->FileType()));
        QVERIFY2(m_drv.messages.isEmpty(), qPrintable(m_drv.messages.join('\n')));
        QTest::keyClick(P()->FileType()->List(), Qt::Key_Escape);
        QCOMPARE(Mgr()->Current(), static_cast<CPanelBase*>(P()->EnumDev()));
    }

    void aLanguageFileReplacesTheSkin() {
        // A program folder of its own: this program linked into it, the rest of its folder beside.
        fs::path bin = QCoreApplication::applicationDirPath().toStdString();
        fs::path d = bin.parent_path() / ("desktop-lang-test-" + std::to_string(::getpid()));
        fs::remove_all(d);
        fs::create_directories(d / "res");
        for (const auto& e : fs::directory_iterator(bin))
            if (e.path().extension() == ".so" || e.path().extension() == ".ini")
                fs::create_symlink(e.path(), d / e.path().filename());
        fs::path exe = d / "test_desktop";
        std::error_code ec;
        fs::create_hard_link(QCoreApplication::applicationFilePath().toStdString(), exe, ec);
        if (ec) fs::copy_file(QCoreApplication::applicationFilePath().toStdString(), exe);
        std::string ini = ReadAll((bin / "res/res.ini").string());
        std::string base = ini, de = ini;
        base.replace(base.find("[language]\n"), 11, "[language]\n407=de.ini\n40c=missing.ini\n");
        const std::string title = "Title=What would you like to recover from?";
        QVERIFY(de.find(title) != std::string::npos);
        de.replace(de.find(title), title.size(), "Title=Wovon wiederherstellen?");
        std::ofstream(d / "res/res.ini") << base;
        std::ofstream(d / "res/de.ini") << de;
        auto probe = [&](const char* pszLang) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("LC_ALL");
            env.remove("LC_MESSAGES");
            env.insert("LANG", pszLang);
            p.setProcessEnvironment(env);
            p.start(QString::fromStdString(exe.string()), {"--skin-probe"});
            p.waitForFinished(60000);
            return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        };
        QCOMPARE(probe("de_DE.UTF-8"), QString("Wovon wiederherstellen?"));
        // A language whose file is missing, and one without an entry, keep res.ini.
        QCOMPARE(probe("fr_FR.UTF-8"), QString("What would you like to recover from?"));
        QCOMPARE(probe("C"), QString("What would you like to recover from?"));
        fs::remove_all(d);
    }

    void exitAnsweredYesCloses() {
        m_pDlg->reject();
        QCOMPARE(m_drv.questions.size(), 1);
        QVERIFY(!m_pDlg->isVisible());
    }
};

int main(int argc, char** argv) {
    // The child of the language test: which skin text this program folder gives.
    if (argc == 2 && std::string(argv[1]) == "--skin-probe") {
        std::printf("%s\n", CKivSkin::Get().Text("PanelHome", "Title").toUtf8().constData());
        return 0;
    }
    // No display needed; the instance lock and the device views stay inside the test's own folder.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir tmp;
    qputenv("XDG_RUNTIME_DIR", tmp.path().toUtf8());
    // What the program remembers and its thumbnails' copies stay in the test's folder too.
    qputenv("XDG_CONFIG_HOME", (tmp.path() + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (tmp.path() + "/cache").toUtf8());
    HideMachineDisks(tmp.path().toStdString());
    QApplication app(argc, argv);
    CUndeliaApp::SetUpUi();
    CDesktopTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "DesktopTest.moc"
