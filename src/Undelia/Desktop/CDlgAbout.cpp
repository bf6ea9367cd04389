#include "CDlgAbout.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "CKivSkin.h"
#include "KivVersion.h"

CDlgAbout::CDlgAbout(QWidget* pParent) : QDialog(pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("DlgAbout");
    setWindowTitle(skin.Text("DlgAbout", "Title", "About"));
    setMinimumSize(skin.Size("DlgAbout", "Size", QSize(420, 260)));
    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(windowIcon().pixmap(64, 64));
    pIcon->setAlignment(Qt::AlignTop);
    auto* pName = new QLabel(QString("<b style='font-size:15pt'>%1</b><br>%2")
                                 .arg(skin.Text("UIMain", "ProductName", "Undelia").toHtmlEscaped(),
                                      QStringLiteral(UNDELIA_VERSION)),
                             this);
    auto* pText = new QLabel(skin.Text("DlgAbout", "Text"), this);
    pText->setWordWrap(true);
    auto* pRight = new QVBoxLayout;
    pRight->addWidget(pName);
    pRight->addSpacing(8);
    pRight->addWidget(pText, 1);
    auto* pTop = new QHBoxLayout;
    pTop->addWidget(pIcon);
    pTop->addSpacing(12);
    pTop->addLayout(pRight, 1);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(20, 20, 20, 16);
    pLayout->addLayout(pTop, 1);
    pLayout->addWidget(pButtons);
}
