#include "CDlgShowStateInfo.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

#include "CKivPreviewText.h"
#include "CKivSkin.h"

CDlgShowStateInfo::Kind CDlgShowStateInfo::KindOf(const QString& strPath, const QByteArray& head) {
    QImageReader reader(strPath);
    if (reader.canRead()) return KIND_IMAGE;
    return CKivPreviewText::LooksLikeText(head.toStdString()) ? KIND_TEXT : KIND_HEX;
}

QString CDlgShowStateInfo::HexDump(const QByteArray& bytes) {
    return QString::fromStdString(CKivPreviewText::HexDump(bytes.toStdString()));
}

CDlgShowStateInfo::CDlgShowStateInfo(const QString& strPath, const QString& strName, QWidget* pParent) : QDialog(pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("DlgShowStateInfo");
    setWindowTitle(QString("%1 — %2").arg(skin.Text("DlgShowStateInfo", "Title", "Preview"), strName));
    resize(skin.Size("DlgShowStateInfo", "Size", QSize(760, 560)));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(14, 14, 14, 12);

    QFile f(strPath);
    QByteArray head;
    if (f.open(QIODevice::ReadOnly)) head = f.read(kHexBytes);
    m_kind = KindOf(strPath, head);
    if (m_kind == KIND_IMAGE) {
        QImageReader reader(strPath);
        reader.setAutoTransform(true);
        QImage img = reader.read();
        auto* pPic = new QLabel(this);
        pPic->setObjectName("PreviewImage");
        pPic->setAlignment(Qt::AlignCenter);
        QSize room = size() - QSize(60, 110);
        QPixmap pm = QPixmap::fromImage(img);
        // A picture larger than the window is shown whole, scaled down; a small one as it is.
        if (pm.width() > room.width() || pm.height() > room.height())
            pm = pm.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        pPic->setPixmap(pm);
        auto* pScroll = new QScrollArea(this);
        pScroll->setWidget(pPic);
        pScroll->setWidgetResizable(true);
        pLayout->addWidget(pScroll, 1);
        pLayout->addWidget(new QLabel(QString("%1 × %2").arg(img.width()).arg(img.height()), this));
    } else {
        auto* pText = new QPlainTextEdit(this);
        pText->setObjectName("PreviewText");
        pText->setReadOnly(true);
        if (m_kind == KIND_TEXT) {
            // A look, not an editor: the start of a long text is enough and stays quick to lay out.
            if (f.isOpen()) f.seek(0);
            QByteArray text = f.isOpen() ? f.read(kTextBytes) : QByteArray();
            pText->setPlainText(QString::fromUtf8(text));
            if (f.size() > kTextBytes)
                pLayout->addWidget(new QLabel(CKivSkin::Fill(skin.Text("DlgShowStateInfo", "TxtTextCut", "First %s shown"),
                                                             {QString("%1 KiB").arg(kTextBytes / 1024)}),
                                              this));
        } else {
            QFont mono("monospace");
            mono.setStyleHint(QFont::Monospace);
            pText->setFont(mono);
            pText->setLineWrapMode(QPlainTextEdit::NoWrap);
            pText->setPlainText(HexDump(head));
            pLayout->addWidget(new QLabel(CKivSkin::Fill(skin.Text("DlgShowStateInfo", "TxtHex", "Hexadecimal view (first %s)"),
                                                         {QString("%1 KiB").arg(kHexBytes / 1024)}),
                                          this));
        }
        pLayout->addWidget(pText, 1);
    }
    auto* pButtons = new QDialogButtonBox(this);
    QPushButton* pOpen = pButtons->addButton(skin.Text("DlgShowStateInfo", "BtnOpenExternal", "Open with the default program"),
                                             QDialogButtonBox::ActionRole);
    pOpen->setAutoDefault(false);
    connect(pOpen, &QPushButton::clicked, this, [strPath] { QDesktopServices::openUrl(QUrl::fromLocalFile(strPath)); });
    QPushButton* pClose = pButtons->addButton(skin.Text("DlgShowStateInfo", "BtnClose", "Close"), QDialogButtonBox::RejectRole);
    pClose->setDefault(true);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
}
