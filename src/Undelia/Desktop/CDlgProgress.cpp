#include "CDlgProgress.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "CDlgMsg.h"
#include "CKivSkin.h"

CDlgProgress::CDlgProgress(const char* pszSection, QWidget* pParent) : QDialog(pParent), m_pszSection(pszSection) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName(QString::fromLatin1(pszSection));
    setWindowTitle(skin.Text(pszSection, "Title", "Undelia"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setMinimumSize(skin.Size(pszSection, "Size", QSize(480, 200)));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(22, 20, 22, 16);
    m_pBody = new QVBoxLayout;
    m_pBody->setSpacing(8);
    pLayout->addLayout(m_pBody, 1);
    auto* pRow = new QHBoxLayout;
    pRow->addStretch(1);
    m_pStop = new QPushButton(skin.Text(pszSection, "BtnStop", "Stop"), this);
    m_pStop->setObjectName("BtnStop");
    m_pStop->setAutoDefault(false);
    pRow->addWidget(m_pStop);
    pLayout->addSpacing(10);
    pLayout->addLayout(pRow);
    connect(m_pStop, &QPushButton::clicked, this, &CDlgProgress::OnStop);
}

void CDlgProgress::Begin() {
    m_bStop = false;
    m_bRunning = true;
    m_pStop->setEnabled(true);
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    m_pStop->setFocus();
}

void CDlgProgress::End() {
    m_bRunning = false;
    hide();
}

void CDlgProgress::SetStoppable(bool bOn) { m_pStop->setEnabled(bOn && !m_bStop); }

void CDlgProgress::OnStop() {
    if (!m_bRunning || m_bStop || m_bAsking) return;
    m_bAsking = true;
    bool bYes = CDlgMsg::Ask(this, CKivSkin::Hint("DlgProgScan", "TxtCancel"));
    m_bAsking = false;
    // The work may have ended while the question was open.
    if (bYes && m_bRunning) {
        m_bStop = true;
        m_pStop->setEnabled(false);
    }
}

void CDlgProgress::reject() { OnStop(); }

void CDlgProgress::closeEvent(QCloseEvent* pEvent) {
    pEvent->ignore();
    OnStop();
}

void CDlgProgress::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}
