#include "CDlgSelectDir.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "CDataBackstage.h"
#include "CDlgMsg.h"
#include "CKivResultController.h"
#include "CKivSkin.h"
#include "CKivUserPrefs.h"
#include "CQtPrompt.h"
#include "KivFunction.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"

CDlgSelectDir::CDlgSelectDir(uint64_t nBytes, QWidget* pParent) : QDialog(pParent), m_nBytes(nBytes) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("DlgSelectDir");
    setWindowTitle(skin.Text("DlgSelectDir", "Title", "Choose where to save the files"));
    resize(skin.Size("DlgSelectDir", "Size", QSize(620, 480)));
    auto* pSelected = new QLabel(
        CKivSkin::Fill(skin.Text("DlgSelectDir", "TxtSelected", "Selected: %s"), {QString::fromStdString(KivSizeTextIec(nBytes))}), this);
    pSelected->setObjectName("Totals");
    m_pModel = new QFileSystemModel(this);
    m_pModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_pModel->setRootPath("/");
    m_pTree = new QTreeView(this);
    m_pTree->setModel(m_pModel);
    for (int c = 1; c < m_pModel->columnCount(); ++c) m_pTree->hideColumn(c);
    m_pTree->header()->hide();
    m_pTree->setUniformRowHeights(true);
    connect(m_pTree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& i) {
        if (i.isValid()) {
            m_pPath->setText(m_pModel->filePath(i));
            UpdateFree();
        }
    });
    auto* pRow = new QHBoxLayout;
    pRow->addWidget(new QLabel(skin.Text("DlgSelectDir", "TxtPath", "Folder:"), this));
    m_pPath = new QLineEdit(this);
    m_pPath->setObjectName("DestPath");
    connect(m_pPath, &QLineEdit::editingFinished, this, &CDlgSelectDir::UpdateFree);
    // Return in the field goes to the folder typed; the next Return (on "Save here") accepts.
    m_pPath->installEventFilter(this);
    pRow->addWidget(m_pPath, 1);
    auto* pNew = new QPushButton(skin.Text("DlgSelectDir", "BtnNewFolder", "New folder…"), this);
    pNew->setAutoDefault(false);
    connect(pNew, &QPushButton::clicked, this, &CDlgSelectDir::OnNewFolder);
    pRow->addWidget(pNew);
    m_pFree = new QLabel(this);
    m_pFree->setObjectName("Hint");
    auto* pButtons = new QDialogButtonBox(this);
    QPushButton* pOk = pButtons->addButton(skin.Text("DlgSelectDir", "Ok", "Save here"), QDialogButtonBox::AcceptRole);
    pOk->setObjectName("Ok");
    pOk->setDefault(true);
    m_pOk = pOk;
    pButtons->addButton(skin.Text("DlgSelectDir", "Cancel", "Cancel"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CDlgSelectDir::OnOk);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(18, 16, 18, 14);
    pLayout->addWidget(pSelected);
    pLayout->addWidget(m_pTree, 1);
    pLayout->addLayout(pRow);
    pLayout->addWidget(m_pFree);
    pLayout->addWidget(pButtons);
    QString start = QString::fromStdString(CKivResultController::StartFolder(CKivUserPrefs::kLastDestination));
    SetFolder(start.isEmpty() ? QDir::homePath() : start);
}

bool CDlgSelectDir::eventFilter(QObject* pObj, QEvent* pEvent) {
    if (pObj == m_pPath && pEvent->type() == QEvent::KeyPress) {
        auto* e = static_cast<QKeyEvent*>(pEvent);
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            SetFolder(Folder());
            m_pOk->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(pObj, pEvent);
}

QString CDlgSelectDir::Folder() const { return QDir::cleanPath(m_pPath->text().trimmed()); }

void CDlgSelectDir::SetFolder(const QString& strPath) {
    m_pPath->setText(strPath);
    QModelIndex i = m_pModel->index(strPath);
    if (i.isValid()) {
        m_pTree->setCurrentIndex(i);
        m_pTree->scrollTo(i);
    }
    UpdateFree();
}

void CDlgSelectDir::UpdateFree() {
    uint64_t nFree = 0;
    if (CKivResultController::FreeSpace(Folder().toStdString(), &nFree))
        m_pFree->setText(CKivSkin::Fill(CKivSkin::Get().Text("DlgSelectDir", "TxtFree", "Free on this drive: %s"),
                                        {QString::fromStdString(KivSizeTextIec(nFree))}));
    else
        m_pFree->clear();
}

void CDlgSelectDir::OnNewFolder() {
    const CKivSkin& skin = CKivSkin::Get();
    bool bOk = false;
    QString name = QInputDialog::getText(this, skin.Text("DlgSelectDir", "BtnNewFolder", "New folder…"),
                                         skin.Text("DlgSelectDir", "TxtPath", "Folder:"), QLineEdit::Normal,
                                         skin.Text("DlgSelectDir", "NewFolderName", "Recovered files"), &bOk);
    if (!bOk || name.trimmed().isEmpty() || name.contains('/')) return;
    QDir base(Folder());
    if (base.mkdir(name.trimmed()) || base.exists(name.trimmed())) SetFolder(base.filePath(name.trimmed()));
}

void CDlgSelectDir::OnOk() {
    CQtPrompt prompt(this);
    const QString folder = Folder();
    // A folder typed that is not there yet is offered, not refused.
    if (!folder.isEmpty() && QDir::isAbsolutePath(folder) && !QFileInfo(folder).exists()) {
        if (!CDlgMsg::Ask(this, CKivSkin::HintArg("DlgSelectDir", "CreateFolder", folder))) return;
        std::string why;
        if (KivFailed(CKivResultController::CreateDestination(folder.toStdString(),
                                                              CDataBackstage::Get().GetScanMediumPath(), &why))) {
            CDlgMsg::Show(this, CKivSkin::HintArg("DlgSelectDir", "CreateFailed", QString::fromStdString(why)),
                          CDlgMsg::KIND_ERROR);
            return;
        }
        SetFolder(folder);
    }
    KivResult rc = CKivResultController::CheckDestination(CDataBackstage::Get(), Folder().toStdString(), m_nBytes, &prompt);
    if (KivFailed(rc)) {
        // Not a folder: say so. On the medium being read: the prompt said why. Too little room and
        // the user said no: the question was the message.
        if (KivErrNo(rc) != KIV_E_NOSPACE && KivErrNo(rc) != KIV_E_ONMEDIUM)
            CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return;
    }
    CKivResultController::RememberFolder(CKivUserPrefs::kLastDestination, Folder().toStdString(),
                                         CDataBackstage::Get().GetScanMediumPath());
    accept();
}
