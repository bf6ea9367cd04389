#include "CPanelHome.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CDataBackstage.h"
#include "CDlgMsg.h"
#include "CDlgScanProgress.h"
#include "CKivSessionDriver.h"
#include "CKivSkin.h"
#include "CKivSkinLayout.h"
#include "CPanelFileRes.h"
#include "CProgressScan.h"
#include "KivUiCodes.h"

CPanelHome::CPanelHome(QWidget* pParent) : CPanelBase("PanelHome", 0, pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    BackButton()->hide();
    NextButton()->hide();
    m_pDevs = MakeCard("BtnDevs");
    m_pFiles = MakeCard("BtnFiles");

    auto* pPreview = new QWidget(this);
    pPreview->setObjectName("HomePreview");
    pPreview->setAttribute(Qt::WA_StyledBackground);
    skin.Place(pPreview, "PanelHome", "Preview", CKivSkinLayout::WIDTH | CKivSkinLayout::HEIGHT);
    pPreview->setObjectName("HomePreview");
    m_pPvImg = new QLabel(pPreview);
    // Narrower windows keep the width; lower ones cut the picture, not the text.
    m_pPvImg->setFixedWidth(180);
    m_pPvImg->setMaximumHeight(140);
    m_pPvImg->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    m_pPvImg->setAlignment(Qt::AlignCenter);
    m_pPvText = new QLabel(pPreview);
    m_pPvText->setObjectName("HomePreviewText");
    m_pPvText->setWordWrap(true);
    auto* pRow = new QHBoxLayout(pPreview);
    pRow->setContentsMargins(24, 16, 24, 16);
    pRow->addWidget(m_pPvImg);
    pRow->addSpacing(20);
    pRow->addWidget(m_pPvText, 1);

    m_pOpen = AddButton("BtnOpenScan", "Open saved scan…");
    m_pOpen->setObjectName("BtnOpenScan");
    m_pOpen->setAutoDefault(false);
    m_pOpen->installEventFilter(this);

    connect(m_pDevs, &QPushButton::clicked, this, [this] { Choose(0); });
    connect(m_pFiles, &QPushButton::clicked, this, [this] { Choose(1); });
    connect(m_pOpen, &QPushButton::clicked, this, &CPanelHome::OnOpenScan);
    setTabOrder(m_pDevs, m_pFiles);
    setTabOrder(m_pFiles, m_pOpen);
    ShowPreview(-1);
}

QPushButton* CPanelHome::MakeCard(const char* pszKey) {
    const CKivSkin& skin = CKivSkin::Get();
    auto* p = new QPushButton(this);
    skin.Place(p, "PanelHome", pszKey, CKivSkinLayout::SCALE_X);
    p->setObjectName("HomeCard");
    p->setAccessibleName(skin.Text("PanelHome", (std::string(pszKey) + "Text").c_str()));
    p->setAutoDefault(false);
    auto* pIcon = new QLabel(p);
    pIcon->setPixmap(skin.Icon("PanelHome", (std::string(pszKey) + "Img").c_str()).pixmap(64, 64));
    pIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* pTitle = new QLabel(p->accessibleName(), p);
    pTitle->setObjectName("CardTitle");
    pTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* pSub = new QLabel(skin.Text("PanelHome", (std::string(pszKey) + "Sub").c_str()), p);
    pSub->setObjectName("CardText");
    pSub->setWordWrap(true);
    pSub->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* pText = new QVBoxLayout;
    pText->addWidget(pTitle);
    pText->addWidget(pSub, 1, Qt::AlignTop);
    auto* pRow = new QHBoxLayout(p);
    pRow->setContentsMargins(18, 16, 18, 16);
    pRow->addWidget(pIcon, 0, Qt::AlignTop);
    pRow->addSpacing(12);
    pRow->addLayout(pText, 1);
    p->installEventFilter(this);
    return p;
}

QString CPanelHome::PreviewText() const { return m_pPvText->text(); }

void CPanelHome::ShowPreview(int nWhich) {
    const CKivSkin& skin = CKivSkin::Get();
    const char* pszImg = nWhich == 0 ? "PvImgDev" : "PvImgFile";
    const char* pszText = nWhich == 0 ? "PvTextDev" : nWhich == 1 ? "PvTextFile" : nWhich == 2 ? "PvTextScan" : "PvTextNone";
    bool bImage = nWhich == 0 || nWhich == 1;
    m_pPvImg->setPixmap(bImage ? skin.Icon("PanelHome", pszImg).pixmap(160, 120) : QPixmap());
    m_pPvImg->setVisible(bImage);
    m_pPvText->setText(skin.Text("PanelHome", pszText));
}

bool CPanelHome::eventFilter(QObject* pObj, QEvent* pEvent) {
    int n = pObj == m_pDevs ? 0 : pObj == m_pFiles ? 1 : pObj == m_pOpen ? 2 : -1;
    if (n >= 0 && (pEvent->type() == QEvent::Enter || pEvent->type() == QEvent::FocusIn)) ShowPreview(n);
    return CPanelBase::eventFilter(pObj, pEvent);
}

void CPanelHome::OnEnter() {
    m_pDevs->setFocus();
    ShowPreview(0);
}

void CPanelHome::Choose(int nMode) {
    m_nChosen = nMode;
    emit NextRequested();
    m_nChosen = -1;
}

bool CPanelHome::OnNext() {
    // Enter on "Open saved scan..." opens one instead of choosing a card.
    if (m_nChosen < 0 && m_pOpen->hasFocus()) {
        OnOpenScan();
        return false;
    }
    int nMode = m_nChosen >= 0 ? m_nChosen : m_pFiles->hasFocus() ? 1 : 0;
    CDataBackstage::Get().SetDevMode(nMode);
    return true;
}

void CPanelHome::OnOpenScan() {
    const CKivSkin& skin = CKivSkin::Get();
    QString file = QFileDialog::getOpenFileName(this, skin.Text("PanelHome", "DlgOpenScan", "Open saved scan"),
                                                QDir::homePath(),
                                                skin.Text("PanelHome", "ScanFiles", "Saved scans (*.und);;All files (*)"));
    if (!file.isEmpty()) OpenScan(file);
}

bool CPanelHome::OpenScan(const QString& strFile) {
    CDataBackstage& bs = CDataBackstage::Get();
    bool bComplete = false;
    std::string why;
    // The trees shown belong to the scan about to be replaced: the results panel lets go first.
    KivResult rc = CKivSessionDriver(bs).Open(strFile.toStdString(), nullptr, &bComplete, &why, [this] {
        if (m_pRes) m_pRes->Forget();
    });
    if (KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::HintArg("PanelHome", "OpenScanFailed", QString::fromStdString(why)),
                      CDlgMsg::KIND_ERROR);
        return false;
    }
    if (!bComplete) {
        bool bStopped = false;
        std::string strNotKept;
        {
            CDlgScanProgress dlg(QString::fromStdString(bs.GetDevTexts()[1]), this);
            CProgressScan scan(bs, &dlg);
            dlg.Begin();
            rc = scan.DoScan();
            dlg.End();
            bStopped = scan.WasStopped();
            strNotKept = scan.SessionError();
        }
        if (KivSucceeded(rc) && !strNotKept.empty())
            CDlgMsg::Show(this, CKivSkin::HintArg("PanelHome", "OpenScanNotKept", QString::fromStdString(strNotKept)),
                          CDlgMsg::KIND_ERROR);
        else if (KivSucceeded(rc) && bStopped)
            CDlgMsg::Show(this, CKivSkin::HintArg("PanelHome", "OpenScanStopped", strFile));
    }
    if (KivSucceeded(rc) && m_pRes) rc = m_pRes->BuildScan();
    if (KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return false;
    }
    if (m_pRes) emit ScanOpened(m_pRes);
    return true;
}
