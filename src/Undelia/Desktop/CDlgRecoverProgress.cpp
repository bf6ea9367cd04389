#include "CDlgRecoverProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "CKivSkin.h"

CDlgRecoverProgress::CDlgRecoverProgress(QWidget* pParent) : CDlgProgress("RecoverProgressDlg", pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    m_pFile = new QLabel(this);
    m_pFile->setObjectName("ProgressWhat");
    m_pFile->setTextFormat(Qt::PlainText);
    m_pFile->setMinimumWidth(420);
    m_pFileBar = new QProgressBar(this);
    m_pByteBar = new QProgressBar(this);
    for (QProgressBar* p : {m_pFileBar, m_pByteBar}) {
        p->setRange(0, 1000);
        p->setValue(0);
        p->setTextVisible(false);
    }
    m_pBytes = new QLabel(this);
    m_pBytes->setFont(QFont("monospace"));
    Body()->addWidget(m_pFile);
    Body()->addWidget(new QLabel(skin.Text(Section(), "TxtFiles", "Files"), this));
    Body()->addWidget(m_pFileBar);
    Body()->addWidget(new QLabel(skin.Text(Section(), "TxtBytes", "Data"), this));
    Body()->addWidget(m_pByteBar);
    Body()->addWidget(m_pBytes);
    Body()->addStretch(1);
}

void CDlgRecoverProgress::OnRecoverProgress(const KivRecoverProgress& progress) {
    Post([this, progress] { Show(progress); });
}

void CDlgRecoverProgress::Show(const KivRecoverProgress& p) {
    // Long names are cut in the middle so the counter in front stays visible.
    QString file = QString::fromStdString(p.strFile);
    m_pFile->setText(m_pFile->fontMetrics().elidedText(file, Qt::ElideMiddle, m_pFile->width()));
    m_pFile->setToolTip(file);
    m_pFileBar->setValue(static_cast<int>(p.nFileBar));
    m_pByteBar->setValue(static_cast<int>(p.nByteBar));
    m_pBytes->setText(QString::fromStdString(p.strBytes));
    // The last file is being finished: a stop would change nothing.
    SetStoppable(p.nFileBar < 1000);
}
