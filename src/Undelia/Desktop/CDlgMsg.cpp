#include "CDlgMsg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "CKivSkin.h"

CDlgMsg::CDlgMsg(QWidget* pParent, const QString& strText, Kind kind) : QDialog(pParent), m_kind(kind) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("DlgMsg");
    setWindowTitle(skin.Text("DlgMsg", "Title", "Undelia"));
    setMinimumWidth(skin.Size("DlgMsg", "Size", QSize(440, 180)).width());

    QStyle::StandardPixmap icon = kind == KIND_QUESTION ? QStyle::SP_MessageBoxQuestion
                                  : kind == KIND_ERROR  ? QStyle::SP_MessageBoxWarning
                                                        : QStyle::SP_MessageBoxInformation;
    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(style()->standardIcon(icon).pixmap(40, 40));
    pIcon->setAlignment(Qt::AlignTop);
    m_pText = new QLabel(strText, this);
    m_pText->setWordWrap(true);
    m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pText->setMinimumWidth(320);

    auto* pTop = new QHBoxLayout;
    pTop->addWidget(pIcon);
    pTop->addSpacing(8);
    pTop->addWidget(m_pText, 1);

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    if (kind == KIND_QUESTION) {
        auto* pYes = new QPushButton(skin.Text("DlgMsg", "Yes", "Yes"), this);
        auto* pNo = new QPushButton(skin.Text("DlgMsg", "No", "No"), this);
        pYes->setObjectName("Yes");
        pNo->setObjectName("No");
        pYes->setDefault(true);
        connect(pYes, &QPushButton::clicked, this, &QDialog::accept);
        connect(pNo, &QPushButton::clicked, this, &QDialog::reject);
        pButtons->addWidget(pYes);
        pButtons->addWidget(pNo);
    } else {
        auto* pOk = new QPushButton(skin.Text("DlgMsg", "Ok", "OK"), this);
        pOk->setObjectName("Ok");
        pOk->setDefault(true);
        connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
        pButtons->addWidget(pOk);
    }

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(20, 20, 20, 16);
    pLayout->addLayout(pTop, 1);
    pLayout->addSpacing(12);
    pLayout->addLayout(pButtons);
}

QString CDlgMsg::Text() const { return m_pText->text(); }

void CDlgMsg::Answer(bool bYes) {
    if (bYes) accept();
    else reject();
}

bool CDlgMsg::Ask(QWidget* pParent, const QString& strText) {
    CDlgMsg dlg(pParent, strText, KIND_QUESTION);
    return dlg.exec() == QDialog::Accepted;
}

void CDlgMsg::Show(QWidget* pParent, const QString& strText, Kind kind) {
    CDlgMsg dlg(pParent, strText, kind);
    dlg.exec();
}
