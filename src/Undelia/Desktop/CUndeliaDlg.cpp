#include "CUndeliaDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include "CDlgAbout.h"
#include "CDlgFeedback.h"
#include "CDlgMsg.h"
#include "CKivResultController.h"
#include "CDataBackstage.h"
#include "CKivSkin.h"
#include "CKivSkinLayout.h"
#include "CKivUserPrefs.h"
#include "CPanelMgr.h"
#include "CPanelProcess.h"
#include "KivFunction.h"
#include "KivLog.h"
#include "platform/KivPlatform.h"

namespace {

// "App"/"icon" names a file beside the program; any folder part of it is dropped.
QIcon ProgramIcon(QStyle* pStyle) {
    QString name = CKivSkin::Get().Text("App", "icon");
    if (!name.isEmpty()) {
        QString path = QString::fromStdString(KivFilePathFromExeDir(name.toStdString().c_str(), true));
        QIcon icon(path);
        if (!icon.isNull() && !icon.availableSizes().isEmpty()) return icon;
        if (!icon.pixmap(32, 32).isNull()) return icon;
    }
    return pStyle->standardIcon(QStyle::SP_DriveHDIcon);
}

}  // namespace

CUndeliaDlg::CUndeliaDlg(QWidget* pParent) : QDialog(pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("CUndeliaDlg");
    if (!skin.IsLoaded()) CDlgMsg::Show(nullptr, "Fail to Load  config file.", CDlgMsg::KIND_ERROR);
    // A frame of our own: the caption bar is the skin's.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setWindowIcon(ProgramIcon(style()));
    setWindowTitle(skin.Text("UIMain", "ProductName", "Undelia"));
    // Built at the skin's size; the window then takes the size the user left it at.
    resize(skin.WindowSize());
    CKivSkinLayout::Of(this)->SetDesignSize(skin.WindowSize());
    setMinimumSize(kMinWidth, kMinHeight);

    m_pPanels = new CPanelProcess(this);
    KivResult rc = m_pPanels->Init(skin.PanelArea());
    // The caption bar's buttons come last in the Tab order: made after the panels.
    BuildCaptionBar();
    // The frame is ours, so is the corner to pull the window larger or smaller by.
    setSizeGripEnabled(true);
    resize(InitialSize());
    if (KivFailed(rc)) CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
}

QSize CUndeliaDlg::InitialSize() const {
    const CKivUserPrefs& prefs = CKivUserPrefs::Get();
    QSize size = CKivSkin::Get().WindowSize();
    QSize kept(static_cast<int>(prefs.GetInt(CKivUserPrefs::kWindowWidth, 0)),
               static_cast<int>(prefs.GetInt(CKivUserPrefs::kWindowHeight, 0)));
    if (kept.width() > 0 && kept.height() > 0) size = kept;
    // Never larger than the screen it opens on.
    if (QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size());
    return size.expandedTo(minimumSize());
}

void CUndeliaDlg::RememberSize() {
    if (isMaximized() || isMinimized() || isFullScreen()) return;
    CKivUserPrefs& prefs = CKivUserPrefs::Get();
    if (prefs.GetInt(CKivUserPrefs::kWindowWidth, 0) == width() && prefs.GetInt(CKivUserPrefs::kWindowHeight, 0) == height())
        return;
    prefs.SetInt(CKivUserPrefs::kWindowWidth, width());
    prefs.SetInt(CKivUserPrefs::kWindowHeight, height());
    prefs.Save(CDataBackstage::Get().GetScanMediumPath());
}

void CUndeliaDlg::ToggleMaximised() {
    if (isMaximized()) showNormal();
    else showMaximized();
}

CUndeliaDlg::~CUndeliaDlg() {
    // The panels and their manager are the window's children; only the ring's holder is ours.
    delete m_pPanels;
    CKivResultController::ClearPreviewFolder();
}

QToolButton* CUndeliaDlg::AddCaptionButton(QWidget* pBar, const char* pszKey, const char* pszIcon, const char* pszTip) {
    const CKivSkin& skin = CKivSkin::Get();
    auto* p = new QToolButton(pBar);
    p->setObjectName(QString::fromLatin1(pszKey));
    skin.Place(p, "MainFrame", pszKey, CKivSkinLayout::RIGHT);
    QIcon icon = skin.Icon("MainFrame", pszIcon);
    if (icon.isNull()) icon = QIcon(skin.ResDir() + '/' + QString::fromLatin1(pszIcon));
    p->setIcon(icon);
    p->setIconSize(QSize(18, 18));
    p->setToolTip(skin.Text("MainFrame", pszTip));
    p->setAccessibleName(skin.Text("MainFrame", pszTip));
    p->setFocusPolicy(Qt::TabFocus);
    return p;
}

void CUndeliaDlg::AddWebButton(QWidget* pBar, const char* pszKey, const char* pszUrlKey, const char* pszTip) {
    const CKivSkin& skin = CKivSkin::Get();
    QString url = skin.Text("EXE", pszUrlKey);
    // An empty address hides the button: the program opens no address of its own accord.
    if (url.isEmpty()) return;
    auto* p = new QToolButton(pBar);
    p->setObjectName(QString::fromLatin1(pszKey));
    skin.Place(p, "Panel", pszKey, CKivSkinLayout::RIGHT);
    p->setText(QString::fromLatin1(pszUrlKey));
    p->setToolTip(skin.Text("Panel", pszTip));
    connect(p, &QToolButton::clicked, this, [url] { QDesktopServices::openUrl(QUrl(url)); });
}

void CUndeliaDlg::BuildCaptionBar() {
    const CKivSkin& skin = CKivSkin::Get();
    m_pCaption = new QWidget(this);
    m_pCaption->setObjectName("CaptionBar");
    m_pCaption->setAttribute(Qt::WA_StyledBackground);
    const int nCaption = skin.Int("MainFrame", "CaptionHeight", 48);
    m_pCaption->resize(skin.WindowSize().width(), nCaption);
    CKivSkinLayout::Of(m_pCaption)->SetDesignSize(m_pCaption->size());
    CKivSkinLayout::Of(this)->Add(m_pCaption, QRect(0, 0, skin.WindowSize().width(), nCaption), CKivSkinLayout::WIDTH);
    m_pCaption->installEventFilter(this);

    auto* pIcon = new QLabel(m_pCaption);
    skin.Place(pIcon, "MainFrame", "IconMin");
    pIcon->setPixmap(windowIcon().pixmap(pIcon->size()));
    auto* pProduct = new QLabel(windowTitle(), m_pCaption);
    pProduct->setObjectName("ProductName");
    skin.Place(pProduct, "MainFrame", "ProductStrPos");
    pProduct->adjustSize();
    auto* pEdition = new QLabel(skin.Text("MainFrame", "EditionText"), m_pCaption);
    pEdition->setObjectName("EditionName");
    skin.Place(pEdition, "MainFrame", "EditionStrPos");
    // The edition follows the product name whatever the font makes of its width.
    QRect er = pEdition->geometry();
    pEdition->move(pProduct->x() + pProduct->width() + 10, er.y());
    for (QWidget* w : {static_cast<QWidget*>(pIcon), static_cast<QWidget*>(pProduct), static_cast<QWidget*>(pEdition)})
        w->setAttribute(Qt::WA_TransparentForMouseEvents);

    QToolButton* pOption = AddCaptionButton(m_pCaption, "BtnOption", "menu.svg", "TipBtnOption");
    m_pMenu = new QMenu(this);
    m_pMenu->setObjectName("OptionsMenu");
    QAction* pHelp = m_pMenu->addAction(skin.Text("Menu", "Help", "Help"), this, &CUndeliaDlg::OnHelp);
    pHelp->setShortcut(QKeySequence::HelpContents);
    addAction(pHelp);
    m_pMenu->addAction(skin.Text("Menu", "Feedback", "Feedback"), this, &CUndeliaDlg::OnFeedback);
    m_pMenu->addAction(skin.Text("Menu", "About", "About"), this, &CUndeliaDlg::OnAbout);
    pOption->setMenu(m_pMenu);
    pOption->setPopupMode(QToolButton::InstantPopup);
    QToolButton* pMin = AddCaptionButton(m_pCaption, "BtnMin", "min.svg", "TipBtnMin");
    connect(pMin, &QToolButton::clicked, this, &QWidget::showMinimized);
    QToolButton* pMax = AddCaptionButton(m_pCaption, "BtnMax", "max.svg", "TipBtnMax");
    connect(pMax, &QToolButton::clicked, this, &CUndeliaDlg::ToggleMaximised);
    QToolButton* pClose = AddCaptionButton(m_pCaption, "BtnClose", "close.svg", "TipBtnClose");
    connect(pClose, &QToolButton::clicked, this, &CUndeliaDlg::reject);

    AddWebButton(m_pCaption, "BtnHome", "Home", "TipBtnHome");
    AddWebButton(m_pCaption, "BtnFacebook", "Facebook", "TipBtnFB");
    AddWebButton(m_pCaption, "BtnTwitter", "Twitter", "TipBtnTW");
}

bool CUndeliaDlg::eventFilter(QObject* pObj, QEvent* pEvent) {
    // Dragging the caption bar moves the window, through the window manager.
    if (pObj == m_pCaption && pEvent->type() == QEvent::MouseButtonDblClick) {
        ToggleMaximised();
        return true;
    }
    if (pObj == m_pCaption && pEvent->type() == QEvent::MouseButtonPress) {
        auto* e = static_cast<QMouseEvent*>(pEvent);
        if (e->button() == Qt::LeftButton && windowHandle()) {
            windowHandle()->startSystemMove();
            return true;
        }
    }
    return QDialog::eventFilter(pObj, pEvent);
}

void CUndeliaDlg::OnHelp() {
    std::string path;
    if (!KivPathBesideExe("help.html", &path)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(KivMakeCode(0, KIV_MOD_UI, KIV_E_NOTFOUND)), CDlgMsg::KIND_ERROR);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void CUndeliaDlg::OnFeedback() {
    CDlgFeedback dlg(this);
    dlg.exec();
}

void CUndeliaDlg::OnAbout() {
    CDlgAbout dlg(this);
    dlg.exec();
}

void CUndeliaDlg::reject() {
    if (m_bClosing) return;
    m_bClosing = true;
    bool bQuit = CDlgMsg::Ask(this, CKivSkin::Hint("DlgMsg", "ExitCheck"));
    m_bClosing = false;
    if (bQuit) {
        RememberSize();
        QDialog::reject();
    }
}

void CUndeliaDlg::closeEvent(QCloseEvent* pEvent) {
    // A close from the window manager asks like the close button; reject() closes on yes.
    pEvent->ignore();
    if (isVisible()) reject();
}

void CUndeliaDlg::keyPressEvent(QKeyEvent* pEvent) {
    CPanelMgr* pMgr = m_pPanels ? m_pPanels->Mgr() : nullptr;
    if (pMgr && pEvent->modifiers() == Qt::NoModifier) {
        switch (pEvent->key()) {
            case Qt::Key_Escape:
                pMgr->GoBack();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                pMgr->GoNext();
                return;
            default:
                break;
        }
    }
    QDialog::keyPressEvent(pEvent);
}
