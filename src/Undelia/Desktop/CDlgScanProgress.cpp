#include "CDlgScanProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "CKivSkin.h"

CDlgScanProgress::CDlgScanProgress(const QString& strDevice, QWidget* pParent)
    : CDlgProgress("ScanProgressDlg", pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    auto* pWhat = new QLabel(CKivSkin::Fill(skin.Text(Section(), "TxtScanning", "Scanning %s"), {strDevice}), this);
    pWhat->setObjectName("ProgressWhat");
    pWhat->setWordWrap(true);
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 1000);
    m_pBar->setValue(0);
    m_pBar->setTextVisible(true);
    m_pFound = new QLabel(CKivSkin::Hint("DlgProgScan", "TxtFound") + " 0", this);
    m_pFound->setObjectName("Totals");
    m_pElapsed = new QLabel(this);
    m_pRemaining = new QLabel(this);
    for (QLabel* p : {m_pElapsed, m_pRemaining}) p->setFont(QFont("monospace"));
    Body()->addWidget(pWhat);
    Body()->addWidget(m_pBar);
    Body()->addWidget(m_pFound);
    Body()->addWidget(m_pElapsed);
    Body()->addWidget(m_pRemaining);
    Body()->addStretch(1);
}

void CDlgScanProgress::OnScanProgress(const KivScanProgress& progress) {
    Post([this, progress] { Show(progress); });
}

void CDlgScanProgress::Show(const KivScanProgress& p) {
    m_pBar->setValue(p.nRange ? static_cast<int>(p.nPos * 1000 / p.nRange) : 0);
    m_pFound->setText(QString::fromStdString(p.strFound));
    // Once the user stopped, the times no longer mean anything: they stay as they were.
    if (p.bTimesKnown) {
        m_pElapsed->setText(QString::fromStdString(p.strElapsed));
        m_pRemaining->setText(QString::fromStdString(p.strRemaining));
    }
}

int CDlgScanProgress::BarValue() const { return m_pBar->value(); }
QString CDlgScanProgress::FoundText() const { return m_pFound->text(); }
