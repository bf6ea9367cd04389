#include "CPanelHome.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CDataBackstage.h"
#include "CKivSkin.h"

CPanelHome::CPanelHome(QWidget* pParent) : CPanelBase("PanelHome", 0, pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    BackButton()->hide();
    NextButton()->hide();
    m_pDevs = MakeCard("BtnDevs");
    m_pFiles = MakeCard("BtnFiles");

    auto* pPreview = new QWidget(this);
    pPreview->setObjectName("HomePreview");
    pPreview->setAttribute(Qt::WA_StyledBackground);
    skin.Place(pPreview, "PanelHome", "Preview");
    pPreview->setObjectName("HomePreview");
    m_pPvImg = new QLabel(pPreview);
    m_pPvImg->setFixedSize(180, 140);
    m_pPvImg->setAlignment(Qt::AlignCenter);
    m_pPvText = new QLabel(pPreview);
    m_pPvText->setObjectName("HomePreviewText");
    m_pPvText->setWordWrap(true);
    auto* pRow = new QHBoxLayout(pPreview);
    pRow->setContentsMargins(24, 16, 24, 16);
    pRow->addWidget(m_pPvImg);
    pRow->addSpacing(20);
    pRow->addWidget(m_pPvText, 1);

    connect(m_pDevs, &QPushButton::clicked, this, [this] { Choose(0); });
    connect(m_pFiles, &QPushButton::clicked, this, [this] { Choose(1); });
    setTabOrder(m_pDevs, m_pFiles);
    ShowPreview(-1);
}

QPushButton* CPanelHome::MakeCard(const char* pszKey) {
    const CKivSkin& skin = CKivSkin::Get();
    auto* p = new QPushButton(this);
    skin.Place(p, "PanelHome", pszKey);
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
    const char* pszText = nWhich == 0 ? "PvTextDev" : nWhich == 1 ? "PvTextFile" : "PvTextNone";
    m_pPvImg->setPixmap(nWhich < 0 ? QPixmap() : skin.Icon("PanelHome", pszImg).pixmap(160, 120));
    m_pPvImg->setVisible(nWhich >= 0);
    m_pPvText->setText(skin.Text("PanelHome", pszText));
}

bool CPanelHome::eventFilter(QObject* pObj, QEvent* pEvent) {
    int n = pObj == m_pDevs ? 0 : pObj == m_pFiles ? 1 : -1;
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
    int nMode = m_nChosen >= 0 ? m_nChosen : m_pFiles->hasFocus() ? 1 : 0;
    CDataBackstage::Get().SetDevMode(nMode);
    return true;
}
