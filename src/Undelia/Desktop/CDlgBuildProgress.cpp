#include "CDlgBuildProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "CKivSkin.h"

CDlgBuildProgress::CDlgBuildProgress(QWidget* pParent) : CDlgProgress("DlgProgressEnum", pParent) {
    m_pText = new QLabel(CKivSkin::Get().Text(Section(), "TxtBuilding"), this);
    m_pText->setWordWrap(true);
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 0);  // busy until a phase gives a total
    m_pBar->setTextVisible(false);
    Body()->addWidget(m_pText);
    Body()->addWidget(m_pBar);
    Body()->addStretch(1);
}

// The engine builds on a worker of its own and reports from there: every report is posted.
void CDlgBuildProgress::OnBuildPhase(const std::string& strText, uint64_t nTotal) {
    QString text = QString::fromStdString(strText);
    Post([this, text, nTotal] {
        if (!text.isEmpty()) m_pText->setText(text);
        m_pBar->setRange(0, nTotal ? 1000 : 0);
        m_pBar->setValue(0);
    });
}

void CDlgBuildProgress::OnBuildProgress(uint64_t nValue, uint64_t nTotal) {
    if (!nTotal) return;
    Post([this, nValue, nTotal] {
        m_pBar->setRange(0, 1000);
        m_pBar->setValue(static_cast<int>(std::min<uint64_t>(nValue, nTotal) * 1000 / nTotal));
    });
}

void CDlgBuildProgress::OnViewsStart() {
    Post([this] {
        m_pText->setText(CKivSkin::Get().Text(Section(), "TxtViews", m_pText->text()));
        m_pBar->setRange(0, 0);
    });
}
