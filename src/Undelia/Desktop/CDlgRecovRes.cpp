#include "CDlgRecovRes.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "CDataBackstage.h"
#include "CDlgMsg.h"
#include "CKivRecoveryRun.h"
#include "CKivResultController.h"
#include "CKivUserPrefs.h"
#include "CKivSkin.h"
#include "KivFunction.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"

QStringList CDlgRecovRes::SummaryLines(const KivRecoverSummary& sum) {
    const CKivSkin& skin = CKivSkin::Get();
    QStringList lines;
    lines << CKivSkin::Fill(skin.Text("DlgRecovRes", "TxtWritten", "Files recovered: %s (%s)"),
                            {QString::number(sum.nFilesWritten), QString::fromStdString(KivSizeTextIec(sum.nBytesWritten))});
    if (sum.nDamaged)
        lines << CKivSkin::Fill(skin.Text("DlgRecovRes", "TxtDamaged", "Written with unreadable parts: %s"),
                                {QString::number(sum.nDamaged)});
    if (sum.nFailed)
        lines << CKivSkin::Fill(skin.Text("DlgRecovRes", "TxtFailed", "Could not be recovered: %s"), {QString::number(sum.nFailed)});
    if (sum.bStopped) lines << skin.Text("DlgRecovRes", "TxtStopped");
    if (!sum.folders.empty()) {
        lines << skin.Text("DlgRecovRes", "TxtFolder", "Saved in:");
        for (const std::string& f : sum.folders) lines << "    " + QString::fromStdString(f);
    }
    return lines;
}

CDlgRecovRes::CDlgRecovRes(const KivRecoverSummary& sum, const QStringList& damaged, const QStringList& failed,
                           QWidget* pParent, const CKivRecoveryReport* pReport)
    : QDialog(pParent), m_pReport(pReport) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("DlgRecovRes");
    setWindowTitle(skin.Text("DlgRecovRes", "Title", "Recovery finished"));
    // The full size only holds the list of damaged and failed files; without one the dialog is
    // as tall as its lines.
    const QSize size = skin.Size("DlgRecovRes", "Size", QSize(520, 280));
    const bool bProblems = !damaged.isEmpty() || !failed.isEmpty();
    if (bProblems) setMinimumSize(size);
    else setMinimumWidth(size.width());
    m_strText = SummaryLines(sum).join('\n');
    auto* pText = new QLabel(m_strText, this);
    pText->setTextFormat(Qt::PlainText);
    pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pText->setWordWrap(true);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(20, 18, 20, 14);
    pLayout->addWidget(pText);
    // Each file that is not whole, with its reason: nothing wrong is handed back silently.
    if (bProblems) {
        auto* pList = new QPlainTextEdit(this);
        pList->setObjectName("Problems");
        pList->setReadOnly(true);
        QStringList rows;
        for (const QString& s : damaged) rows << skin.Text("DlgRecovRes", "TxtDamagedItem", "damaged") + ": " + s;
        for (const QString& s : failed) rows << skin.Text("DlgRecovRes", "TxtFailedItem", "failed") + ": " + s;
        pList->setPlainText(rows.join('\n'));
        pLayout->addWidget(pList, 1);
    } else {
        pLayout->addSpacing(14);
    }
    auto* pButtons = new QDialogButtonBox(this);
    if (!sum.folders.empty()) {
        QString folder = QString::fromStdString(sum.folders.front());
        QPushButton* pOpen = pButtons->addButton(skin.Text("DlgRecovRes", "BtnOpen", "Open folder"), QDialogButtonBox::ActionRole);
        pOpen->setAutoDefault(false);
        connect(pOpen, &QPushButton::clicked, this, [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    }
    if (m_pReport) {
        QPushButton* pSave = pButtons->addButton(skin.Text("DlgRecovRes", "BtnReport", "Save report…"), QDialogButtonBox::ActionRole);
        pSave->setObjectName("SaveReport");
        pSave->setAutoDefault(false);
        connect(pSave, &QPushButton::clicked, this, &CDlgRecovRes::OnSaveReport);
    }
    QPushButton* pOk = pButtons->addButton(skin.Text("DlgRecovRes", "Ok", "OK"), QDialogButtonBox::AcceptRole);
    pOk->setDefault(true);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    pLayout->addWidget(pButtons);
}

void CDlgRecovRes::OnSaveReport() {
    const CKivSkin& skin = CKivSkin::Get();
    // Where the last report went, else the home folder: never on the medium being recovered.
    QString kept = QString::fromStdString(CKivResultController::StartFolder(CKivUserPrefs::kLastReportFolder));
    QDir start(kept.isEmpty() ? QDir::homePath() : kept);
    QString file = QFileDialog::getSaveFileName(this, skin.Text("DlgRecovRes", "DlgReport", "Save recovery report"),
                                                start.filePath("recovery-report.json"),
                                                skin.Text("DlgRecovRes", "ReportFiles", "JSON report (*.json);;DFXML report (*.xml)"));
    if (!file.isEmpty()) SaveReport(file);
}

bool CDlgRecovRes::SaveReport(const QString& strFile) {
    if (!m_pReport) return false;
    std::string why;
    if (KivResult rc = CKivRecoveryRun::SaveReport(CDataBackstage::Get(), *m_pReport, strFile.toStdString(), &why);
        KivFailed(rc)) {
        CDlgMsg::Show(this,
                      CKivSkin::HintArg("PanelFileRes", KivErrNo(rc) == KIV_E_ONMEDIUM ? "ReportOnMedium" : "ReportFailed",
                                        QString::fromStdString(why)),
                      CDlgMsg::KIND_ERROR);
        return false;
    }
    CKivResultController::RememberFolder(CKivUserPrefs::kLastReportFolder, QFileInfo(strFile).absolutePath().toStdString(),
                                         CDataBackstage::Get().GetScanMediumPath());
    CDlgMsg::Show(this, CKivSkin::HintArg("PanelFileRes", "ReportDone", strFile));
    return true;
}
