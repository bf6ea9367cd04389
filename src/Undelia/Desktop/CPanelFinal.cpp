#include "CPanelFinal.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "CDlgRecovRes.h"
#include "CKivSkin.h"
#include "CKivSkinLayout.h"

CPanelFinal::CPanelFinal(QWidget* pParent) : CPanelBase("PanelFinal", 4, pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName("Summary");
    m_pSummary->setTextFormat(Qt::PlainText);
    m_pSummary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    skin.Place(m_pSummary, "PanelFinal", "StSummary", CKivSkinLayout::WIDTH);
    m_pOpen = AddButton("BtnOpen", "Open the recovered files", CKivSkinLayout::LEFT);
    connect(m_pOpen, &QPushButton::clicked, this, [this] {
        if (!m_strFolder.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(m_strFolder));
    });
    // Next goes round the ring to the home panel, and says so.
    SetNextEntry("BtnStartOver");
    setTabOrder(m_pOpen, BackButton());
    setTabOrder(BackButton(), NextButton());
}

void CPanelFinal::SetResult(const KivRecoverSummary& sum, qsizetype nProblems) {
    const CKivSkin& skin = CKivSkin::Get();
    QStringList lines;
    lines << skin.Text("PanelFinal", "TxtIntro", "The recovery has finished.") << QString();
    lines << CDlgRecovRes::SummaryLines(sum);
    lines << QString() << skin.Text("PanelFinal", "TxtNext");
    m_pSummary->setText(lines.join('\n'));
    m_strFolder = sum.folders.empty() ? QString() : QString::fromStdString(sum.folders.front());
    m_pOpen->setEnabled(!m_strFolder.isEmpty());
}

void CPanelFinal::OnEnter() { m_pOpen->setFocus(); }

QString CPanelFinal::SummaryText() const { return m_pSummary->text(); }
