#include "CPanelEnumDev.h"

#include <algorithm>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include "CDataBackstage.h"
#include "CDlgMsg.h"
#include "CKivSkin.h"
#include "CKivSkinLayout.h"
#include "KivFunction.h"
#include "KivUiTexts.h"

namespace {

enum { ROLE_INDEX = Qt::UserRole + 1 };

QStringList Row(const std::vector<std::string>& texts) {
    QStringList out;
    for (const std::string& s : texts) out << QString::fromStdString(s);
    return out;
}

}  // namespace

CPanelEnumDev::CPanelEnumDev(QWidget* pParent) : CPanelBase("PanelEnumDev", 1, pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName("DeviceList");
    skin.Place(m_pList, "PanelEnumDev", "List", CKivSkinLayout::WIDTH | CKivSkinLayout::HEIGHT);
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->setHeaderLabels({skin.Text("PanelEnumDev", "ColKind", "Kind"), skin.Text("PanelEnumDev", "ColName", "Name"),
                              skin.Text("PanelEnumDev", "ColSize", "Size"), skin.Text("PanelEnumDev", "ColLabel", "Label"),
                              skin.Text("PanelEnumDev", "ColMount", "Mounted at")});
    // The name takes what the window gives; the other columns keep their widths.
    m_pList->header()->setStretchLastSection(false);
    m_pList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_pList->setColumnWidth(0, 150);
    m_pList->setColumnWidth(2, 90);
    m_pList->setColumnWidth(3, 110);
    m_pList->setColumnWidth(4, 130);
    // A double-click on a row is the Next button (Enter is the window's Next already).
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, [this] { emit NextRequested(); });

    QPushButton* pAdd = AddButton("BtnAddImage", "Add disk image…");
    connect(pAdd, &QPushButton::clicked, this, &CPanelEnumDev::OnAddImage);
    QPushButton* pRefresh = AddButton("BtnRefresh", "Refresh");
    connect(pRefresh, &QPushButton::clicked, this, &CPanelEnumDev::Refresh);
    m_pInfo = new QLabel(this);
    m_pInfo->setObjectName("Hint");
    m_pInfo->setWordWrap(true);
    m_pInfo->setTextFormat(Qt::PlainText);
    skin.Place(m_pInfo, "PanelEnumDev", "StInfo", CKivSkinLayout::WIDTH | CKivSkinLayout::BOTTOM);
    setTabOrder(m_pList, pAdd);
    setTabOrder(pAdd, pRefresh);
    setTabOrder(pRefresh, BackButton());
    setTabOrder(BackButton(), NextButton());
}

QString CPanelEnumDev::InfoText() const { return m_pInfo->text(); }

void CPanelEnumDev::OnEnter() {
    const CKivSkin& skin = CKivSkin::Get();
    SetCaption(CDataBackstage::Get().GetDevMode() == 0 ? skin.Text("PanelEnumDev", "Title", "Select disk:")
                                                       : skin.Text("PanelEnumDev", "TitleParts", "Select partition:"));
    Fill(false);
    m_pList->setFocus();
}

void CPanelEnumDev::Refresh() { Fill(true); }

void CPanelEnumDev::Fill(bool bRefresh) {
    const CKivSkin& skin = CKivSkin::Get();
    CDataBackstage& bs = CDataBackstage::Get();
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    IKivEnumDevEx* pEnum = nullptr;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    KivResult rc = bs.GetEnumDevData(&disks, &parts, &pEnum, bRefresh);
    QApplication::restoreOverrideCursor();
    int nKeep = m_pList->currentItem() ? m_pList->indexOfTopLevelItem(m_pList->currentItem()) : 0;
    m_pList->clear();
    if (KivFailed(rc)) {
        m_pInfo->setText(CKivSkin::ErrorText(rc));
        return;
    }
    const bool bDisks = bs.GetDevMode() == 0;
    if (bDisks) {
        for (size_t i = 0; i < disks.size(); ++i) {
            const DiskInfo& d = disks[i];
            auto* pItem = new QTreeWidgetItem(m_pList, Row(KivDiskRowTexts(d)));
            pItem->setData(0, ROLE_INDEX, static_cast<int>(i));
            pItem->setIcon(0, style()->standardIcon(d.nSource == KIV_DISK_IMAGE ? QStyle::SP_FileIcon : QStyle::SP_DriveHDIcon));
        }
    } else {
        for (size_t i = 0; i < parts.size(); ++i) {
            const PartInfo& p = parts[i];
            auto* pItem = new QTreeWidgetItem(m_pList, Row(KivPartRowTexts(p)));
            pItem->setData(0, ROLE_INDEX, static_cast<int>(i));
            pItem->setToolTip(1, QString::fromUtf8(p.szDesc));
            pItem->setIcon(0, style()->standardIcon(p.nFloppy ? QStyle::SP_DriveFDIcon : QStyle::SP_DriveHDIcon));
        }
    }
    for (int c = 0; c < m_pList->columnCount(); ++c)
        if (m_pList->topLevelItemCount()) m_pList->headerItem()->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);

    // What could not be listed, and why: usually the rights to read raw disks.
    QStringList info;
    if (pEnum) {
        KivDevProblem p{};
        for (uint32_t i = 0; pEnum->GetProblem(i, &p); ++i) info << QString::fromUtf8(p.szText);
    }
    if (!info.isEmpty()) info << skin.Text("PanelEnumDev", "TxtNoAccess");
    if (m_pList->topLevelItemCount() == 0) info.prepend(skin.Text("PanelEnumDev", "TxtNoDevices"));
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        int n = m_pList->topLevelItem(i)->data(0, ROLE_INDEX).toInt();
        int32_t nMount = bDisks ? disks[static_cast<size_t>(n)].nMountFlags : parts[static_cast<size_t>(n)].nMountFlags;
        if (nMount & KIV_MOUNTED_RW) m_pList->topLevelItem(i)->setToolTip(4, skin.Text("PanelEnumDev", "TxtReadWrite"));
    }
    m_pInfo->setText(info.join('\n'));
    m_pInfo->setToolTip(info.join('\n'));
    FitInfo();
    SelectRow(std::min(nKeep, m_pList->topLevelItemCount() - 1));
}

void CPanelEnumDev::resizeEvent(QResizeEvent* pEvent) {
    CPanelBase::resizeEvent(pEvent);
    FitInfo();
}

void CPanelEnumDev::FitInfo() {
    const CKivSkinLayout* pLayout = CKivSkinLayout::Find(this);
    const CKivSkin& skin = CKivSkin::Get();
    QRect info = skin.Rect("PanelEnumDev", "StInfo"), list = skin.Rect("PanelEnumDev", "List");
    if (!pLayout || !info.isValid() || !list.isValid()) return;
    info = pLayout->Map(info, CKivSkinLayout::WIDTH | CKivSkinLayout::BOTTOM, size());
    list = pLayout->Map(list, CKivSkinLayout::WIDTH | CKivSkinLayout::HEIGHT, size());
    const int nNeed = m_pInfo->text().isEmpty() ? 0 : m_pInfo->heightForWidth(info.width());
    if (nNeed > info.height()) {
        const int nGrow = std::min(nNeed - info.height(), std::max(0, list.height() - 80));
        info.setTop(info.top() - nGrow);
        list.setBottom(list.bottom() - nGrow);
    }
    m_pInfo->setGeometry(info);
    m_pList->setGeometry(list);
}

void CPanelEnumDev::SelectRow(int nRow) {
    if (nRow < 0 || nRow >= m_pList->topLevelItemCount()) return;
    m_pList->setCurrentItem(m_pList->topLevelItem(nRow));
    m_pList->scrollToItem(m_pList->currentItem());
}

void CPanelEnumDev::OnAddImage() {
    const CKivSkin& skin = CKivSkin::Get();
    QString path = QFileDialog::getOpenFileName(this, skin.Text("PanelEnumDev", "ImageDialogTitle", "Add disk image"),
                                                QString(), skin.Text("PanelEnumDev", "ImageFilter"));
    if (!path.isEmpty()) AddImage(path);
}

bool CPanelEnumDev::AddImage(const QString& strPath) {
    CDataBackstage& bs = CDataBackstage::Get();
    QString path = QFileInfo(strPath).absoluteFilePath();
    if (!m_images.contains(path)) m_images << path;
    std::vector<std::string> paths;
    for (const QString& s : m_images) paths.push_back(s.toStdString());
    bs.SetImagePaths(paths, 0);
    Fill(true);
    int nRow = bs.RowOfImage(path.toStdString());
    if (nRow < 0) {
        // The enumerator says why (not readable, empty, a folder...).
        m_images.removeAll(path);
        paths.clear();
        for (const QString& s : m_images) paths.push_back(s.toStdString());
        bs.SetImagePaths(paths, 0);
        QString why = m_pInfo->text();
        Fill(true);
        CDlgMsg::Show(this, why.isEmpty() ? CKivSkin::ErrorText(KivMakeCode(0, KIV_MOD_UI, KIV_E_NOTFOUND)) : why,
                      CDlgMsg::KIND_ERROR);
        return false;
    }
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i)
        if (m_pList->topLevelItem(i)->data(0, ROLE_INDEX).toInt() == nRow) SelectRow(i);
    m_pList->setFocus();
    return true;
}

bool CPanelEnumDev::OnNext() {
    CDataBackstage& bs = CDataBackstage::Get();
    const bool bDisks = bs.GetDevMode() == 0;
    QTreeWidgetItem* pItem = m_pList->currentItem();
    if (!pItem || !pItem->isSelected()) {
        CDlgMsg::Show(this, CKivSkin::Hint("PanelEnumDev", bDisks ? "DevicesNextNoSelect" : "FilesNextNoSelect"));
        return false;
    }
    uint32_t nIndex = static_cast<uint32_t>(pItem->data(0, ROLE_INDEX).toInt());
    if (KivResult rc = bs.SetEnumDevResult(nIndex); KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return false;
    }
    // A whole disk without any partition on it (a wiped card, say) is scanned all the same: the
    // scan takes the disk itself rather than a partition record.
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    bs.GetEnumDevData(&disks, &parts, nullptr, false);
    bs.SetDirectDevice(bDisks && parts.empty() && nIndex < disks.size() ? disks[nIndex].pStor : nullptr);
    // Kind, name, size, and the label or mount point as the fourth.
    bs.SetDevTexts({pItem->text(0).toStdString(), pItem->text(1).toStdString(), pItem->text(2).toStdString(),
                    (pItem->text(3).isEmpty() ? pItem->text(4) : pItem->text(3)).toStdString()});
    return true;
}
