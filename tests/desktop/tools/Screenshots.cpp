// Walks the desktop program's wizard over a disk image in real windows (run it under xvfb-run)
// and saves a picture of every panel and dialog on the way: the README's and the docs' pictures,
// and a way to look at each screen after a change.
//
// usage: undelia-screenshots IMAGE OUTDIR [WIDTHxHEIGHT]   (the main window's size; the skin's
// default size when not given)
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <cstdio>

#include "CDataBackstage.h"
#include "CDlgAbout.h"
#include "CDlgFeedback.h"
#include "CKivNodeModel.h"
#include "CKivThumbModel.h"
#include "CKivUiNode.h"
#include "CPanelEnumDev.h"
#include "CPanelFileRes.h"
#include "CPanelFileType.h"
#include "CPanelFinal.h"
#include "CPanelHome.h"
#include "CPanelMgr.h"
#include "CPanelProcess.h"
#include "CProgressScan.h"
#include "CUndeliaApp.h"
#include "CUndeliaDlg.h"
#include "DesktopDriver.h"

namespace {

QString g_out;
int g_nShot = 0;

void Settle() {
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Shot(QWidget* w, const QString& name) {
    Settle();
    QString path = QString("%1/%2-%3.png").arg(g_out).arg(++g_nShot, 2, 10, QChar('0')).arg(name);
    if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else std::printf("%s\n", qPrintable(path));
}

// The first file of the first folder below the node that holds files.
CKivUiNode* FirstFile(CKivUiNode* p) {
    for (CKivUiNode* c : p->GetChildren())
        if (c->IsFile()) return c;
    for (CKivUiNode* c : p->GetChildren())
        if (CKivUiNode* f = FirstFile(c)) return f;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: undelia-screenshots IMAGE OUTDIR [WIDTHxHEIGHT]\n");
        return 1;
    }
    QSize size;
    if (argc == 4) {
        QStringList wh = QString::fromLocal8Bit(argv[3]).split('x');
        if (wh.size() == 2) size = QSize(wh[0].toInt(), wh[1].toInt());
        if (size.width() <= 0 || size.height() <= 0) {
            std::fprintf(stderr, "undelia-screenshots: a size is WIDTHxHEIGHT\n");
            return 1;
        }
    }
    // The machine's disks are left out of the pictures; the lock is one of this run's own.
    QTemporaryDir tmp;
    qputenv("XDG_RUNTIME_DIR", tmp.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (tmp.path() + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (tmp.path() + "/cache").toUtf8());
    qputenv("UNDELIA_SYSFS_ROOT", (tmp.path() + "/sys").toUtf8());
    qputenv("UNDELIA_DEV_ROOT", (tmp.path() + "/dev").toUtf8());
    qputenv("UNDELIA_MOUNTINFO", (tmp.path() + "/mountinfo").toUtf8());
    QDir(tmp.path()).mkpath("sys/block");
    QDir(tmp.path()).mkpath("dev");
    QFile mi(tmp.path() + "/mountinfo");
    mi.open(QIODevice::WriteOnly);
    mi.close();

    QApplication app(argc, argv);
    CUndeliaApp::SetUpUi();
    g_out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_out);
    QString image = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QTemporaryDir dest;

    CDesktopDriver drv;
    drv.strDestination = dest.path();
    drv.strReport = dest.path() + "/recovery-report.json";
    // Every dialog is pictured once before it is answered.
    QSet<QString> seen;
    QString nextName;  // the picture name of the next dialog, when it is one of several alike
    drv.onDialog = [&](QWidget* w) {
        QString name = !nextName.isEmpty() ? nextName : w->objectName().isEmpty() ? "dialog" : w->objectName();
        nextName.clear();
        if (seen.contains(name)) return;
        seen.insert(name);
        Shot(w, name);
        // The result dialog's report is saved next: its message is pictured under its own name.
        if (name == "DlgRecovRes") nextName = "report-saved";
    };
    // The progress dialogs, once each, while they run.
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        if (auto* p = qobject_cast<CDlgProgress*>(QApplication::activeModalWidget()))
            if (!seen.contains(p->objectName()) && p->isVisible()) {
                seen.insert(p->objectName());
                QString path = QString("%1/%2-%3.png").arg(g_out).arg(++g_nShot, 2, 10, QChar('0')).arg(p->objectName());
                p->grab().save(path);
                std::printf("%s\n", qPrintable(path));
            }
    });
    progress.start(150);

    CUndeliaDlg dlg;
    if (size.isValid()) dlg.resize(size);
    dlg.show();
    CPanelProcess* P = dlg.Panels();
    CPanelMgr* mgr = P->Mgr();
    Shot(&dlg, "home");
    P->Home()->DevicesButton()->click();
    P->EnumDev()->AddImage(image);
    Shot(&dlg, "devices");
    mgr->GoNext();
    P->FileType()->TickGroup("Pictures", true);
    P->FileType()->TickGroup("Documents", true);
    P->FileType()->List()->expandItem(P->FileType()->List()->topLevelItem(0));
    Shot(&dlg, "file-types");
    mgr->GoNext();
    if (mgr->Current() != P->FileRes()) {
        std::fprintf(stderr, "the scan found nothing to show\n");
        return 2;
    }
    CPanelFileRes* res = P->FileRes();
    CKivNodeModel* m = res->Model(CKivResultController::VIEW_DIR);
    // Tick the first partition's first folder, as a user would.
    QModelIndex part = m->index(0, 0);
    for (int r = 0; r < m->rowCount(part); ++r) {
        QModelIndex i = m->index(r, 0, part);
        if (m->Node(i)->HasChildren()) {
            m->setData(i, Qt::Checked, Qt::CheckStateRole);
            res->Tree(CKivResultController::VIEW_DIR)->expand(i);
            break;
        }
    }
    Shot(&dlg, "results-folders");
    res->ShowView(CKivResultController::VIEW_TYPE);
    Shot(&dlg, "results-types");
    // The pictures, once the thumbnails in view are made.
    res->ShowPictures();
    Settle();
    if (CKivThumbModel* t = res->PicturesModel()) {
        QElapsedTimer waited;
        waited.start();
        auto pending = [t] {
            for (int r = 0; r < t->rowCount(); ++r)
                if (t->data(t->index(r), CKivThumbModel::ROLE_THUMB).toInt() == CKivThumbModel::THUMB_ASKED) return true;
            return false;
        };
        while (pending() && waited.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (t->rowCount() > 1) t->setData(t->index(1), Qt::Checked, Qt::CheckStateRole);
    }
    Shot(&dlg, "results-pictures");
    res->ShowView(CKivResultController::VIEW_DIR);
    drv.fillFilter = [](CDlgFilter* f) { f->KeyEdit()->setText("png"); };
    res->OnFilter();
    Shot(&dlg, "results-filter");
    res->ShowView(CKivResultController::VIEW_DIR);
    if (CKivUiNode* f = FirstFile(m->Root())) res->Preview(f);
    mgr->GoNext();  // the destination, the question, the progress, the result
    Shot(&dlg, "final");

    // The scan saved from the results and opened again from the home panel.
    mgr->Show(res);
    nextName = "save-scan-dialog";
    if (auto* pSave = res->findChild<QPushButton*>("BtnSaveScan")) pSave->click();
    QString saved = dest.path() + "/sample.und";
    nextName = "save-scan-done";
    res->SaveScan(saved);
    mgr->Show(P->Home());
    P->Home()->OpenScanButton()->setFocus();
    QEvent enter(QEvent::Enter);  // the pointer over the button shows what it does
    QApplication::sendEvent(P->Home()->OpenScanButton(), &enter);
    Shot(&dlg, "home-open-scan");
    nextName = "open-scan-dialog";
    P->Home()->OpenScanButton()->click();
    QFile junk(dest.path() + "/notes.und");
    if (junk.open(QIODevice::WriteOnly)) junk.write("not a saved scan\n");
    junk.close();
    nextName = "open-scan-refused";
    P->Home()->OpenScan(junk.fileName());
    if (P->Home()->OpenScan(saved)) Shot(&dlg, "results-saved-scan");

    // A scan stopped part-way: the results say so and offer to go on.
    CProgressScan::SetTestStopAfterBlocks(2);
    mgr->Show(P->Home());
    P->Home()->DevicesButton()->click();
    P->EnumDev()->AddImage(image);
    mgr->GoNext();
    P->FileType()->TickGroup("Audio", true);  // other types: scanned again
    mgr->GoNext();
    CProgressScan::SetTestStopAfterBlocks(0);
    if (mgr->Current() == P->FileRes()) Shot(&dlg, "results-stopped");
    // Esc on the first page.
    mgr->Show(P->Home());
    nextName = "top-page";
    mgr->GoBack();
    Settle();

    CDlgAbout about(&dlg);
    about.show();
    Shot(&about, "about");
    CDlgFeedback feedback(&dlg);
    feedback.show();
    Shot(&feedback, "feedback");
    drv.answer = [](const QString&) { return false; };
    dlg.reject();  // the exit question, answered no
    Settle();
    return 0;
}
