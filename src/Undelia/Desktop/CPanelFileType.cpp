#include "CPanelFileType.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "CDataBackstage.h"
#include "CKivExtDescriptions.h"
#include "CDlgMsg.h"
#include "CDlgScanProgress.h"
#include "CKivSkin.h"
#include "CKivSkinLayout.h"
#include "CPanelFileRes.h"
#include "CProgressScan.h"
#include "KivUiCodes.h"

namespace {

Qt::CheckState StateOf(uint8_t n) {
    return n == CKivFileTypeChoice::TICKED ? Qt::Checked : n == CKivFileTypeChoice::PART ? Qt::PartiallyChecked : Qt::Unchecked;
}

}  // namespace

CPanelFileType::CPanelFileType(QWidget* pParent) : CPanelBase("PanelFileType", 2, pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    m_pDevice = new QLabel(this);
    m_pDevice->setObjectName("Hint");
    m_pDevice->setTextFormat(Qt::PlainText);
    skin.Place(m_pDevice, "PanelFileType", "StDevice", CKivSkinLayout::WIDTH);
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName("TypeList");
    skin.Place(m_pList, "PanelFileType", "List", CKivSkinLayout::WIDTH | CKivSkinLayout::HEIGHT);
    m_pList->setHeaderLabels({skin.Text("PanelFileType", "ColType", "File type"),
                              skin.Text("PanelFileType", "ColDescript", "Description")});
    m_pList->setColumnWidth(0, 300);
    m_pList->setUniformRowHeights(true);
    m_pList->header()->setStretchLastSection(true);
    connect(m_pList, &QTreeWidget::itemChanged, this, &CPanelFileType::OnItemChanged);
    m_pAll = new QCheckBox(skin.Text("PanelFileType", "BtnSelectAllText", "Select All File Type"), this);
    m_pAll->setObjectName("BtnSelectAll");
    skin.Place(m_pAll, "PanelFileType", "BtnSelectAll", CKivSkinLayout::BOTTOM);
    connect(m_pAll, &QCheckBox::clicked, this, [this](bool bOn) {
        m_choice.SetAll(bOn);
        Sync();
    });
    auto* pHint = new QLabel(skin.Text("PanelFileType", "TxtHint"), this);
    pHint->setObjectName("Hint");
    pHint->setWordWrap(true);
    skin.Place(pHint, "PanelFileType", "StHint", CKivSkinLayout::WIDTH | CKivSkinLayout::BOTTOM);
    setTabOrder(m_pList, m_pAll);
    setTabOrder(m_pAll, BackButton());
    setTabOrder(BackButton(), NextButton());
}

void CPanelFileType::Load() {
    IKivFilter* pFilter = nullptr;
    std::vector<FilterItem> catalogue;
    if (KivResult rc = CDataBackstage::Get().GetFilterData(&pFilter, &catalogue); KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return;
    }
    const CKivSkin& skin = CKivSkin::Get();
    m_choice.Load(catalogue, static_cast<size_t>(skin.Int("PanelFileType", "MaxShown", 0)));
    m_bSyncing = true;
    m_pList->clear();
    for (size_t i = 0; i < m_choice.Count(); ++i) {
        const CKivFileTypeChoice::Item& it = m_choice.At(i);
        auto* pItem = new QTreeWidgetItem(m_pList, {QString::fromStdString(it.name), QString::fromStdString(it.descript)});
        pItem->setFlags(pItem->flags() | Qt::ItemIsUserCheckable);
        pItem->setToolTip(1, QString::fromStdString(it.detail.empty() ? it.descript : it.detail));
        for (size_t j = 0; j < it.shown.size(); ++j) {
            const std::string& e = it.shown[j];
            QString name = e == CKivFileTypeChoice::kOthers ? QString::fromStdString(e) : "." + QString::fromStdString(e);
            QString desc = e == CKivFileTypeChoice::kOthers
                               ? skin.Text("PanelFileType", "TxtOthers", "The group's less common types")
                               : QString::fromStdString(CKivExtDescriptions::Get().Of(e));
            auto* pChild = new QTreeWidgetItem(pItem, {name, desc});
            pChild->setFlags(pChild->flags() | Qt::ItemIsUserCheckable);
        }
    }
    m_bSyncing = false;
    m_bLoaded = true;
    Sync();
}

void CPanelFileType::Sync() {
    m_bSyncing = true;
    bool bAll = m_choice.Count() > 0;
    for (int i = 0; i < m_pList->topLevelItemCount() && static_cast<size_t>(i) < m_choice.Count(); ++i) {
        const CKivFileTypeChoice::Item& it = m_choice.At(static_cast<size_t>(i));
        QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
        pItem->setCheckState(0, StateOf(it.nState));
        for (int j = 0; j < pItem->childCount() && static_cast<size_t>(j) < it.ticks.size(); ++j)
            pItem->child(j)->setCheckState(0, it.ticks[static_cast<size_t>(j)] ? Qt::Checked : Qt::Unchecked);
        bAll = bAll && it.nState == CKivFileTypeChoice::TICKED;
    }
    m_pAll->setChecked(bAll);
    m_bSyncing = false;
}

void CPanelFileType::OnItemChanged(QTreeWidgetItem* pItem, int nColumn) {
    if (m_bSyncing || nColumn != 0) return;
    bool bOn = pItem->checkState(0) != Qt::Unchecked;
    if (QTreeWidgetItem* pParent = pItem->parent())
        m_choice.SetEntry(static_cast<size_t>(m_pList->indexOfTopLevelItem(pParent)),
                          static_cast<size_t>(pParent->indexOfChild(pItem)), bOn);
    else
        m_choice.SetItem(static_cast<size_t>(m_pList->indexOfTopLevelItem(pItem)), bOn);
    Sync();
}

bool CPanelFileType::TickGroup(const QString& strName, bool bTicked) {
    for (size_t i = 0; i < m_choice.Count(); ++i) {
        if (QString::fromStdString(m_choice.At(i).name) != strName) continue;
        m_choice.SetItem(i, bTicked);
        Sync();
        return true;
    }
    return false;
}

void CPanelFileType::OnEnter() {
    const auto& t = CDataBackstage::Get().GetDevTexts();
    QStringList parts;
    for (size_t i = 0; i < 3; ++i)
        if (!t[i].empty()) parts << QString::fromStdString(t[i]);
    m_pDevice->setText(parts.join("   ·   "));
    if (!m_bLoaded) Load();
    m_pList->setFocus();
    if (!m_pList->currentItem() && m_pList->topLevelItemCount()) m_pList->setCurrentItem(m_pList->topLevelItem(0));
}

bool CPanelFileType::OnNext() {
    CDataBackstage& bs = CDataBackstage::Get();
    KivResult rc = m_choice.ApplyTo(bs);
    if (KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return false;
    }
    // Back from the results and on again, with the same device and types: the scan in hand stays.
    if (m_pRes && m_pRes->HasViews() && CProgressScan(bs, nullptr).CanKeepScan()) return true;
    // The scan replaces the trees the results panel shows: it lets go of them first.
    if (m_pRes) m_pRes->Forget();
    {
        CDlgScanProgress dlg(QString::fromStdString(bs.GetDevTexts()[1]), this);
        CProgressScan scan(bs, &dlg);
        dlg.Begin();
        rc = scan.DoScan();
        dlg.End();
    }
    // The views are built here so that a scan whose partitions hold nothing also stays here.
    if (KivSucceeded(rc) && m_pRes) rc = m_pRes->BuildScan();
    if (KivFailed(rc)) {
        CDlgMsg::Show(this, CKivSkin::ErrorText(rc), CDlgMsg::KIND_ERROR);
        return false;
    }
    return true;
}
