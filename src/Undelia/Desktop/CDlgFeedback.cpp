#include "CDlgFeedback.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "CKivSkin.h"
#include "platform/KivPlatform.h"

CDlgFeedback::CDlgFeedback(QWidget* pParent) : QDialog(pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("DlgFeedback");
    setWindowTitle(skin.Text("DlgFeedback", "Title", "Feedback"));
    setMinimumSize(skin.Size("DlgFeedback", "Size", QSize(420, 220)));
    auto* pText = new QLabel(skin.Text("DlgFeedback", "Text"), this);
    pText->setWordWrap(true);
    auto* pLogs = new QLabel(QString::fromStdString(KivGetLogDir()), this);
    pLogs->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pLogs->setObjectName("Hint");
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    QString url = skin.Text("EXE", "FeedbackUrl");
    if (!url.isEmpty()) {
        QPushButton* pOpen = pButtons->addButton(skin.Text("DlgFeedback", "BtnOpen", "Open"), QDialogButtonBox::ActionRole);
        connect(pOpen, &QPushButton::clicked, this, [url] { QDesktopServices::openUrl(QUrl(url)); });
    }
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(20, 20, 20, 16);
    pLayout->addWidget(pText);
    pLayout->addWidget(pLogs);
    pLayout->addStretch(1);
    pLayout->addWidget(pButtons);
}
