#include "CPanelFileRes.h"

#include <ctime>

#include <QApplication>
#include <QHBoxLayout>
#include <QStyle>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QListView>
#include <QPointer>
#include <QTreeView>
#include <QUrl>

#include "CDataBackstage.h"
#include "CDlgBuildProgress.h"
#include "CDlgFilter.h"
#include "CDlgMsg.h"
#include "CDlgRecovRes.h"
#include "CDlgRecoverProgress.h"
#include "CDlgSelectDir.h"
#include "CDlgShowStateInfo.h"
#include "CKivNodeModel.h"
#include "CKivThumbModel.h"
#include "CKivThumbnailer.h"
#include "CKivRecoveryRun.h"
#include "CKivSessionDriver.h"
#include "CKivSkin.h"
#include "CKivSkinLayout.h"
#include "CKivUiNode.h"
#include "CPanelFinal.h"
#include "CQtPrompt.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"

using View = CKivResultController::View;

CPanelFileRes::CPanelFileRes(QWidget* pParent)
    : CPanelBase("PanelFileRes", 3, pParent), m_pCtl(std::make_unique<CKivResultController>(CDataBackstage::Get())) {
    const CKivSkin& skin = CKivSkin::Get();
    SetNextEntry("BtnRecover");
    m_pTabs = new QTabWidget(this);
    m_pTabs->setObjectName("ResultTabs");
    skin.Place(m_pTabs, "PanelFileRes", "Tabs", CKivSkinLayout::WIDTH | CKivSkinLayout::HEIGHT);
    const char* kTabs[] = {"TabDir", "TabType", "TabFilter"};
    const char* kDefaults[] = {"Folders", "File types", "Filter results"};
    for (int i = 0; i < 3; ++i) {
        auto* pTree = new QTreeView(m_pTabs);
        pTree->setObjectName(QString::fromLatin1(kTabs[i]));
        // Rows of one height let the view place a hundred thousand of them without measuring.
        pTree->setUniformRowHeights(true);
        pTree->setAllColumnsShowFocus(true);
        pTree->setSelectionMode(QAbstractItemView::SingleSelection);
        pTree->setContextMenuPolicy(Qt::CustomContextMenu);
        pTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
        connect(pTree, &QTreeView::customContextMenuRequested, this, &CPanelFileRes::OnContextMenu);
        connect(pTree, &QTreeView::doubleClicked, this, [this](const QModelIndex& i) {
            CKivNodeModel* m = m_pModels[CurrentView()];
            if (m && m->Node(i) && m->Node(i)->IsFile()) Preview(m->Node(i));
        });
        m_pTrees[i] = pTree;
        m_pTabs->addTab(pTree, skin.Text("PanelFileRes", kTabs[i], kDefaults[i]));
    }
    m_pPictures = new QListView(m_pTabs);
    m_pPictures->setObjectName("Pictures");
    m_pPictures->setViewMode(QListView::IconMode);
    m_pPictures->setIconSize(QSize(CKivThumbModel::kSide, CKivThumbModel::kSide));
    m_pPictures->setGridSize(QSize(CKivThumbModel::kSide + 28, CKivThumbModel::kSide + 40));
    // One size for every cell and laid out in batches: ten thousand pictures scroll as fast as ten.
    m_pPictures->setUniformItemSizes(true);
    m_pPictures->setLayoutMode(QListView::Batched);
    m_pPictures->setBatchSize(500);
    m_pPictures->setMovement(QListView::Static);
    m_pPictures->setResizeMode(QListView::Adjust);
    m_pPictures->setWrapping(true);
    m_pPictures->setWordWrap(false);
    m_pPictures->setTextElideMode(Qt::ElideMiddle);
    m_pPictures->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pPictures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pPictures->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(m_pPictures, &QListView::doubleClicked, this, [this](const QModelIndex& i) {
        if (m_pThumbModel && m_pThumbModel->Node(i)) Preview(m_pThumbModel->Node(i));
    });
    m_pTabs->addTab(m_pPictures, skin.Text("PanelFileRes", "TabPictures", "Pictures"));
    m_pTabs->setTabEnabled(kPicturesTab, false);
    // The worker decodes; the window's thread takes the result, unless the views changed since.
    QPointer<CPanelFileRes> self(this);
    m_pThumbs = std::make_unique<CKivThumbnailer>(
        CDataBackstage::Get(), [this, self](CKivUiNode* pFile, const std::string& copy, CKivThumbnailer::Outcome out) {
            const int nViews = m_nViews.load();
            const qreal dpr = qApp->devicePixelRatio();
            QImage image;
            if (out != CKivThumbnailer::OUT_FAILED) {
                image = CKivThumbModel::Decode(QString::fromStdString(copy), qRound(CKivThumbModel::kSide * dpr));
                image.setDevicePixelRatio(dpr);
            }
            uint8_t nThumb = image.isNull()                         ? CKivThumbModel::THUMB_FAILED
                             : out == CKivThumbnailer::OUT_DAMAGED ? CKivThumbModel::THUMB_DAMAGED
                                                                    : CKivThumbModel::THUMB_READY;
            QMetaObject::invokeMethod(qApp, [self, pFile, image, nThumb, nViews] {
                if (self && self->m_nViews.load() == nViews && self->m_pThumbModel)
                    self->m_pThumbModel->SetThumb(pFile, image, nThumb);
            }, Qt::QueuedConnection);
            return !image.isNull();
        });
    m_pTabs->setTabEnabled(View::VIEW_FILTER, false);
    connect(m_pTabs, &QTabWidget::currentChanged, this, [this] { UpdateTotals(); });
    // What the colours and the folder mark mean, beside the tabs.
    auto* pLegend = new QWidget(m_pTabs);
    pLegend->setObjectName("Legend");
    {
        auto* pRow = new QHBoxLayout(pLegend);
        pRow->setContentsMargins(0, 0, 4, 4);
        pRow->setSpacing(6);
        auto* pGone = new QLabel(skin.Text("PanelFileRes", "LegendGone", "Red: deleted or lost"), pLegend);
        pGone->setObjectName("LegendGone");
        auto* pIcon = new QLabel(pLegend);
        const int nIcon = pIcon->fontMetrics().height();
        pIcon->setPixmap(CKivNodeModel::HoldsGoneIcon().pixmap(nIcon, nIcon));
        auto* pHolds = new QLabel(skin.Text("PanelFileRes", "LegendHolds", "folder holds deleted files"), pLegend);
        pRow->addWidget(pGone);
        pRow->addSpacing(10);
        pRow->addWidget(pIcon);
        pRow->addWidget(pHolds);
    }
    m_pTabs->setCornerWidget(pLegend, Qt::TopRightCorner);

    m_pState = new QLabel(this);
    m_pState->setObjectName("ScanState");
    m_pState->setWordWrap(true);
    skin.Place(m_pState, "PanelFileRes", "StScanState", CKivSkinLayout::WIDTH);
    m_pGoOn = AddButton("BtnGoOn", "Go on scanning…", CKivSkinLayout::RIGHT);
    m_pGoOn->setObjectName("BtnGoOn");
    m_pGoOn->hide();
    connect(m_pGoOn, &QPushButton::clicked, this, &CPanelFileRes::OnGoOn);

    QPushButton* pFilter = AddButton("BtnFilter", "Filter…");
    connect(pFilter, &QPushButton::clicked, this, &CPanelFileRes::OnFilter);
    QPushButton* pPreview = AddButton("BtnPreview", "Preview");
    connect(pPreview, &QPushButton::clicked, this, &CPanelFileRes::OnPreview);
    QPushButton* pSave = AddButton("BtnSaveScan", "Save scan…");
    pSave->setObjectName("BtnSaveScan");
    connect(pSave, &QPushButton::clicked, this, &CPanelFileRes::OnSaveScan);
    m_pTotals = new QLabel(this);
    m_pTotals->setObjectName("Totals");
    skin.Place(m_pTotals, "PanelFileRes", "StTotals", CKivSkinLayout::WIDTH | CKivSkinLayout::BOTTOM);
    setTabOrder(m_pGoOn, m_pTabs);
    setTabOrder(m_pTabs, pFilter);
    setTabOrder(pFilter, pPreview);
    setTabOrder(pPreview, pSave);
    setTabOrder(pSave, BackButton());
    setTabOrder(BackButton(), NextButton());
}

CPanelFileRes::~CPanelFileRes() {
    // The worker's decoder reaches into this panel: it ends first.
    m_pThumbs.reset();
}

void CPanelFileRes::SetModel(View view, CKivUiNode* pRoot) {
    QTreeView* pTree = m_pTrees[view];
    CKivNodeModel* pOld = m_pModels[view];
    m_pModels[view] = pRoot ? new CKivNodeModel(m_pCtl.get(), view, pRoot, this) : nullptr;
    pTree->setModel(m_pModels[view]);
    delete pOld;
    if (!m_pModels[view]) return;
    connect(m_pModels[view], &CKivNodeModel::TicksChanged, this, [this, pTree] {
        pTree->viewport()->update();
        m_pPictures->viewport()->update();
        UpdateTotals();
    });
    QHeaderView* h = pTree->header();
    h->setStretchLastSection(false);
    // A click on a column header orders the view by it; nothing is ordered before that.
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(true);
    h->setSortIndicator(-1, Qt::AscendingOrder);
    CKivNodeModel* pModel = m_pModels[view];
    connect(h, &QHeaderView::sortIndicatorChanged, pModel, [pModel](int n, Qt::SortOrder o) {
        if (n >= 0) pModel->sort(n, o);
    });
    // Only the filter's list mixes files of many folders: it shows where each lies, sharing the
    // width with the name (the creation time makes room).
    const bool bFilter = view == View::VIEW_FILTER;
    pTree->setColumnHidden(CKivNodeModel::COL_FOLDER, !bFilter);
    pTree->setColumnHidden(CKivNodeModel::COL_CREATED, bFilter);
    if (bFilter) h->setSectionResizeMode(CKivNodeModel::COL_FOLDER, QHeaderView::Stretch);
    h->setSectionResizeMode(CKivNodeModel::COL_NAME, QHeaderView::Stretch);
    pTree->setColumnWidth(CKivNodeModel::COL_SIZE, 90);
    pTree->setColumnWidth(CKivNodeModel::COL_MODIFIED, 130);
    pTree->setColumnWidth(CKivNodeModel::COL_CREATED, 130);
    pTree->setColumnWidth(CKivNodeModel::COL_STATE, 120);
    // The partitions (or type groups) open at once: their contents are what the user came for.
    if (view != View::VIEW_FILTER)
        for (int r = 0; r < m_pModels[view]->rowCount(); ++r) pTree->expand(m_pModels[view]->index(r, 0));
    if (m_pModels[view]->rowCount()) pTree->setCurrentIndex(m_pModels[view]->index(0, 0));
}

CPanelFileRes::ThumbPause::ThumbPause(CPanelFileRes* p) : m_p(p->m_pThumbs.get()) {
    if (m_p) m_p->Pause();
}

CPanelFileRes::ThumbPause::~ThumbPause() {
    if (m_p) m_p->Resume();
}

void CPanelFileRes::SetPictures() {
    // The old model's asks name nodes about to go: dropped, and the one in hand finished first.
    ++m_nViews;
    m_pThumbs->Clear();
    ThumbPause pause(this);
    CKivThumbModel* pOld = m_pThumbModel;
    m_pThumbModel = nullptr;
    if (HasViews()) {
        m_pThumbModel = new CKivThumbModel(m_pCtl.get(), m_pThumbs.get(), m_pCtl->Pictures(), this);
        connect(m_pThumbModel, &CKivThumbModel::TicksChanged, this, [this] {
            m_pTrees[View::VIEW_DIR]->viewport()->update();
            UpdateTotals();
        });
    }
    m_pPictures->setModel(m_pThumbModel);
    delete pOld;
    const int n = m_pThumbModel ? m_pThumbModel->rowCount() : 0;
    m_pTabs->setTabEnabled(kPicturesTab, n > 0);
    m_pTabs->setTabText(kPicturesTab, n > 0 ? QString("%1 (%2)").arg(CKivSkin::Get().Text("PanelFileRes", "TabPictures", "Pictures")).arg(n)
                                            : CKivSkin::Get().Text("PanelFileRes", "TabPictures", "Pictures"));
}

void CPanelFileRes::ShowPictures() { m_pTabs->setCurrentIndex(kPicturesTab); }

bool CPanelFileRes::PicturesShown() const { return m_pTabs->currentIndex() == kPicturesTab; }

void CPanelFileRes::Forget() {
    for (int v = 0; v < 3; ++v) SetModel(static_cast<View>(v), nullptr);
    SetPictures();
    m_pState->clear();
    m_pGoOn->hide();
    m_pTabs->setTabEnabled(View::VIEW_FILTER, false);
    m_pCtl = std::make_unique<CKivResultController>(CDataBackstage::Get());
    UpdateTotals();
}

KivResult CPanelFileRes::Build() {
    if (m_pModels[View::VIEW_DIR]) return KIV_OK;
    CDlgBuildProgress dlg(this);
    dlg.Begin();
    KivResult rc = m_pCtl->FileInit(&dlg);
    dlg.End();
    if (KivFailed(rc)) return rc;
    SetModel(View::VIEW_DIR, m_pCtl->Root(View::VIEW_DIR));
    SetModel(View::VIEW_TYPE, m_pCtl->Root(View::VIEW_TYPE));
    SetPictures();
    m_pTabs->setCurrentIndex(View::VIEW_DIR);
    UpdateTotals();
    UpdateScanState();
    return KIV_OK;
}

QString CPanelFileRes::ScanStateText() const { return m_pState->text(); }

void CPanelFileRes::UpdateScanState() {
    if (!HasViews()) {
        m_pState->clear();
        m_pGoOn->hide();
        return;
    }
    const bool bStopped = m_pCtl->ScanStopped();
    m_pState->setText(QString::fromStdString(m_pCtl->ScanStateText()));
    m_pState->setProperty("stopped", bStopped);
    m_pState->style()->unpolish(m_pState);
    m_pState->style()->polish(m_pState);
    m_pGoOn->setVisible(bStopped);
}

void CPanelFileRes::OnGoOn() {
    if (m_bBusy) return;
    const CKivSkin& skin = CKivSkin::Get();
    QString name = QFileInfo(QString::fromStdString(CDataBackstage::Get().GetScanMediumPath())).completeBaseName();
    if (name.isEmpty()) name = "scan";
    QString file = QFileDialog::getSaveFileName(this, skin.Text("PanelFileRes", "DlgGoOn", "Keep the scan in a file to go on with it"),
                                                QDir::home().filePath(name + ".und"),
                                                skin.Text("PanelFileRes", "ScanFiles", "Saved scans (*.und);;All files (*)"));
    if (file.isEmpty()) return;
    std::string why;
    ThumbPause pause(this);
    if (KivFailed(CKivSessionDriver(CDataBackstage::Get()).Save(file.toStdString(), &why))) {
        CDlgMsg::Show(this, CKivSkin::HintArg("PanelFileRes", "SaveScanFailed", QString::fromStdString(why)),
                      CDlgMsg::KIND_ERROR);
        return;
    }
    emit GoOnRequested(file);
}

KivResult CPanelFileRes::BuildScan() {
    std::vector<CKivScanResPart*> parts;
    if (KivResult rc = CDataBackstage::Get().GetScanResult(&parts); KivFailed(rc)) return rc;
    if (parts.empty()) return KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_NOTHINGFOUND);
    return Build();
}

void CPanelFileRes::OnEnter() {
    if (!m_pModels[View::VIEW_DIR]) {
        if (KivResult rc = Build(); KivFailed(rc)) CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
    }
    UpdateTotals();
    m_pTrees[CurrentView()]->setFocus();
}

View CPanelFileRes::CurrentView() const {
    // The pictures carry the folder view's ticks.
    int n = m_pTabs->currentIndex();
    return n >= 0 && n < kPicturesTab ? static_cast<View>(n) : View::VIEW_DIR;
}

void CPanelFileRes::ShowView(View view) { m_pTabs->setCurrentIndex(view); }

QString CPanelFileRes::TotalsText() const { return m_pTotals->text(); }

void CPanelFileRes::UpdateTotals() { m_pTotals->setText(QString::fromStdString(m_pCtl->TotalsText(CurrentView()))); }

CKivUiNode* CPanelFileRes::CurrentNode() const {
    if (PicturesShown()) return m_pThumbModel ? m_pThumbModel->Node(m_pPictures->currentIndex()) : nullptr;
    CKivNodeModel* m = m_pModels[CurrentView()];
    QModelIndex i = m_pTrees[CurrentView()]->currentIndex();
    return m && i.isValid() ? m->Node(i) : nullptr;
}

void CPanelFileRes::OnContextMenu(const QPoint& pos) {
    QTreeView* pTree = m_pTrees[CurrentView()];
    CKivNodeModel* m = m_pModels[CurrentView()];
    QModelIndex i = pTree->indexAt(pos);
    if (!m || !i.isValid()) return;
    CKivUiNode* pNode = m->Node(i);
    const CKivSkin& skin = CKivSkin::Get();
    QMenu menu(this);
    QAction* pPreview = menu.addAction(skin.Text("PanelFileRes", "MenuPreview", "Preview"));
    pPreview->setEnabled(pNode->IsFile());
    QAction* pTick = menu.addAction(skin.Text("PanelFileRes", "MenuTick", "Tick"));
    QAction* pUntick = menu.addAction(skin.Text("PanelFileRes", "MenuUntick", "Untick"));
    QAction* pExpand = menu.addAction(skin.Text("PanelFileRes", "MenuExpand", "Expand all below"));
    pExpand->setEnabled(pNode->HasChildren());
    QAction* pChosen = menu.exec(pTree->viewport()->mapToGlobal(pos));
    if (pChosen == pPreview) Preview(pNode);
    else if (pChosen == pTick) m->SetTick(pNode, true);
    else if (pChosen == pUntick) m->SetTick(pNode, false);
    else if (pChosen == pExpand) pTree->expandRecursively(i.siblingAtColumn(0));
}

void CPanelFileRes::OnFilter() {
    if (m_bBusy || !m_pModels[View::VIEW_DIR]) return;
    CDlgFilter dlg(this);
    if (dlg.exec() != QDialog::Accepted) return;
    ApplyFilter(dlg.Filter());
}

KivResult CPanelFileRes::ApplyFilter(const CKivResultFilter& filter) {
    if (m_bBusy) return KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_STATE);
    m_bBusy = true;
    // The old list dies with the new one: its model lets go first.
    SetModel(View::VIEW_FILTER, nullptr);
    CKivUiNode* pRoot = nullptr;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    KivResult rc = m_pCtl->ApplyFilter(filter, &pRoot);
    QApplication::restoreOverrideCursor();
    m_bBusy = false;
    if (KivFailed(rc) || !pRoot) {
        m_pTabs->setTabEnabled(View::VIEW_FILTER, false);
        CDlgMsg::Show(this, CKivSkin::ErrorText(KivFailed(rc) ? rc : KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_NOTHINGFOUND)));
        UpdateTotals();
        return KivFailed(rc) ? rc : KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_NOTHINGFOUND);
    }
    SetModel(View::VIEW_FILTER, pRoot);
    m_pTabs->setTabEnabled(View::VIEW_FILTER, true);
    m_pTabs->setCurrentIndex(View::VIEW_FILTER);
    UpdateTotals();
    return KIV_OK;
}

void CPanelFileRes::OnPreview() {
    CKivUiNode* p = CurrentNode();
    if (p && p->IsFile()) Preview(p);
}

KivResult CPanelFileRes::Preview(CKivUiNode* pFile) {
    if (m_bBusy || !pFile) return KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_STATE);
    m_bBusy = true;
    ThumbPause pause(this);
    CQtPrompt prompt(this);
    std::string path;
    bool bExternal = false;
    KivResult rc;
    {
        CDlgRecoverProgress dlg(this);
        if (pFile->GetSize() <= CKivResultController::kPreviewLimit) dlg.Begin();
        rc = m_pCtl->Preview(pFile, &dlg, &prompt, &path, &bExternal);
        dlg.End();
    }
    m_bBusy = false;
    if (KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return rc;
    }
    if (path.empty()) return rc;  // too large: the hint was shown
    QString qpath = QString::fromStdString(path);
    if (bExternal) {
        // Office files and archives: the desktop's own program; the file stays until the next
        // preview or the end of the program.
        QDesktopServices::openUrl(QUrl::fromLocalFile(qpath));
        return rc;
    }
    CDlgShowStateInfo dlg(qpath, QString::fromUtf8(pFile->GetName()), this);
    dlg.exec();
    CKivResultController::ClearPreviewFolder();
    return rc;
}

void CPanelFileRes::OnSaveScan() {
    if (m_bBusy) return;
    const CKivSkin& skin = CKivSkin::Get();
    // Named after the medium, in the home folder: never on the medium being recovered.
    QString name = QFileInfo(QString::fromStdString(CDataBackstage::Get().GetScanMediumPath())).completeBaseName();
    if (name.isEmpty()) name = "scan";
    QString file = QFileDialog::getSaveFileName(this, skin.Text("PanelFileRes", "DlgSaveScan", "Save scan"),
                                                QDir::home().filePath(name + ".und"),
                                                skin.Text("PanelFileRes", "ScanFiles", "Saved scans (*.und);;All files (*)"));
    if (!file.isEmpty()) SaveScan(file);
}

bool CPanelFileRes::SaveScan(const QString& strFile) {
    std::string why;
    ThumbPause pause(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    KivResult rc = CKivSessionDriver(CDataBackstage::Get()).Save(strFile.toStdString(), &why);
    QApplication::restoreOverrideCursor();
    if (KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::HintArg("PanelFileRes", "SaveScanFailed", QString::fromStdString(why)),
                      CDlgMsg::KIND_ERROR);
        return false;
    }
    CDlgMsg::Show(this, CKivSkin::HintArg("PanelFileRes", "SaveScanDone", strFile));
    return true;
}

bool CPanelFileRes::OnNext() {
    if (m_bBusy) return false;
    const View view = CurrentView();
    uint64_t nFiles = 0, nBytes = 0;
    m_pCtl->GetTotals(view, &nFiles, &nBytes);
    if (nFiles == 0) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_NOSELECTION)));
        return false;
    }
    CDlgSelectDir pick(nBytes, this);
    if (pick.exec() != QDialog::Accepted) return false;
    std::string folder = pick.Folder().toStdString();

    CQtPrompt prompt(this);
    // The folder dialog has asked about the free space already.
    prompt.SetAnswered(KIV_ASK_LOW_SPACE);
    KivRecoverSummary sum;
    // Asked before the progress window opens; the run then does not ask again.
    if (KivResult rc = m_pCtl->ConfirmRecover(view, folder, &prompt, &sum); KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return false;
    }
    if (sum.bDeclined) return false;
    prompt.SetAnswered(KIV_ASK_RECOVER_INTO);
    QStringList damaged, failed;
    KivResult rc;
    CKivRecoveryRun run(CDataBackstage::Get(), *m_pCtl);
    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments()) args.push_back(a.toStdString());
    run.WantReport("Undelia", KivCommandLineText(args));
    ThumbPause pause(this);
    m_bBusy = true;
    {
        CDlgRecoverProgress dlg(this);
        dlg.Begin();
        // Fed on the recovery thread: the hashing stays off the window's thread.
        rc = run.Recover(view, folder, &dlg, &prompt, &sum);
        dlg.End();
        // Progress posted from the recovery thread in its last moments.
        QCoreApplication::processEvents();
    }
    m_bBusy = false;
    if (sum.bDeclined) return false;
    for (const CKivRecoveryRun::Outcome& o : run.Damaged()) damaged << QString::fromStdString(CKivRecoveryRun::Line(o));
    for (const CKivRecoveryRun::Outcome& o : run.Failed()) failed << QString::fromStdString(CKivRecoveryRun::Line(o));
    CKivRecoveryReport* pReport = run.FinishReport();
    if (KivFailed(rc) && KivErrNo(rc) != KIV_E_STOPPED) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        if (sum.folders.empty()) return false;
    }
    CDlgRecovRes res(sum, damaged, failed, this, pReport);
    res.exec();
    if (m_pFinal) m_pFinal->SetResult(sum, damaged.size() + failed.size());
    return true;
}
