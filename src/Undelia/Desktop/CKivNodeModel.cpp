#include "CKivNodeModel.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QStyle>

#include "CKivFileNodeMgr.h"
#include "CKivNodeSorter.h"
#include "CKivSkin.h"
#include "CKivUiNode.h"
#include "KivFunction.h"
#include "KivScanResult.h"
#include "KivUiTexts.h"

namespace {

// Children lists are vectors: a row is the node's place in its parent's list.
int RowOf(const CKivUiNode* pNode) {
    const CKivUiNode* pParent = pNode ? pNode->GetParent() : nullptr;
    if (!pParent) return 0;
    const auto& kids = pParent->GetChildren();
    for (size_t i = 0; i < kids.size(); ++i)
        if (kids[i] == pNode) return static_cast<int>(i);
    return 0;
}

}  // namespace

CKivNodeModel::CKivNodeModel(CKivResultController* pCtl, CKivResultController::View view, CKivUiNode* pRoot,
                             QObject* pParent)
    : QAbstractItemModel(pParent), m_pCtl(pCtl), m_view(view), m_pRoot(pRoot) {
    const CKivSkin& skin = CKivSkin::Get();
    m_columns = {skin.Text("PanelFileRes", "ColName", "Name"), skin.Text("PanelFileRes", "ColSize", "Size"),
                 skin.Text("PanelFileRes", "ColModified", "Modified"), skin.Text("PanelFileRes", "ColCreated", "Created"),
                 skin.Text("PanelFileRes", "ColState", "State"), skin.Text("PanelFileRes", "ColFolder", "Folder")};
    m_holdsTip = skin.Text("PanelFileRes", "TipHoldsDeleted");
    m_unknownTip = skin.Text("PanelFileRes", "TipUnknownPath");
}

CKivUiNode* CKivNodeModel::Node(const QModelIndex& index) const {
    return index.isValid() ? static_cast<CKivUiNode*>(index.internalPointer()) : m_pRoot;
}

QModelIndex CKivNodeModel::IndexOf(CKivUiNode* pNode, int nColumn) const {
    if (!pNode || pNode == m_pRoot) return QModelIndex();
    return createIndex(RowOf(pNode), nColumn, pNode);
}

QModelIndex CKivNodeModel::index(int nRow, int nColumn, const QModelIndex& parent) const {
    CKivUiNode* p = Node(parent);
    if (!p || nRow < 0 || nColumn < 0 || nColumn >= COL_COUNT) return QModelIndex();
    const auto& kids = p->GetChildren();
    if (static_cast<size_t>(nRow) >= kids.size()) return QModelIndex();
    return createIndex(nRow, nColumn, kids[static_cast<size_t>(nRow)]);
}

QModelIndex CKivNodeModel::parent(const QModelIndex& index) const {
    CKivUiNode* p = index.isValid() ? Node(index)->GetParent() : nullptr;
    return IndexOf(p);
}

int CKivNodeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    CKivUiNode* p = Node(parent);
    return p ? static_cast<int>(p->GetChildren().size()) : 0;
}

int CKivNodeModel::columnCount(const QModelIndex&) const { return COL_COUNT; }

bool CKivNodeModel::hasChildren(const QModelIndex& parent) const {
    if (parent.column() > 0) return false;
    CKivUiNode* p = Node(parent);
    return p && p->HasChildren();
}

QString CKivNodeModel::TimeText(uint64_t nFileTime) { return QString::fromStdString(KivNodeTimeText(nFileTime)); }

QString CKivNodeModel::StateText(const CKivUiNode* p) const { return QString::fromStdString(KivNodeStateText(*p)); }

QVariant CKivNodeModel::data(const QModelIndex& index, int nRole) const {
    const CKivUiNode* p = index.isValid() ? Node(index) : nullptr;
    if (!p) return QVariant();
    const int col = index.column();
    switch (nRole) {
        case Qt::DisplayRole:
            switch (col) {
                case COL_NAME: return QString::fromUtf8(p->GetName());
                case COL_SIZE: return p->IsFile() ? QString::fromStdString(KivSizeTextIec(p->GetSize())) : QString();
                case COL_MODIFIED: return TimeText(p->GetModificationTime());
                case COL_CREATED: return TimeText(p->GetCreationTime());
                case COL_STATE: return StateText(p);
                case COL_FOLDER: return QString::fromStdString(p->GetPath());
            }
            break;
        case Qt::CheckStateRole:
            if (col != COL_NAME) break;
            return p->GetState() == CKivUiNode::STATE_TICKED ? Qt::Checked
                   : p->GetState() == CKivUiNode::STATE_PART ? Qt::PartiallyChecked
                                                             : Qt::Unchecked;
        case Qt::DecorationRole: {
            if (col != COL_NAME) break;
            QStyle* s = QApplication::style();
            if (p->GetKind() == CKivUiNode::KIND_PART) return s->standardIcon(QStyle::SP_DriveHDIcon);
            if (!p->IsFile() && p->GetLook() == CKivUiNode::LOOK_HOLDS_GONE) return HoldsGoneIcon();
            return s->standardIcon(p->IsFile() ? QStyle::SP_FileIcon : QStyle::SP_DirIcon);
        }
        case Qt::ForegroundRole:
            // Deleted, lost and carved entries stand out from what is still on the volume; a folder
            // that merely holds them keeps the normal colour (its icon says so).
            if (p->GetLook() == CKivUiNode::LOOK_GONE) return GoneColour();
            break;
        case Qt::TextAlignmentRole:
            if (col == COL_SIZE) return int(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case Qt::ToolTipRole:
            if (col == COL_NAME || col == COL_STATE) {
                QString tip = QString::fromStdString(p->GetFullPath());
                if (!p->IsFile() && p->GetLook() == CKivUiNode::LOOK_HOLDS_GONE && !m_holdsTip.isEmpty())
                    tip += "\n" + m_holdsTip;
                else if (!p->GetEngineNode() && p->IsLost() && !m_unknownTip.isEmpty() &&
                         std::string(p->GetName()) == CKivFileNodeMgr::kUnknownPath)
                    tip += "\n" + m_unknownTip;
                return tip;
            }
            break;
        case Qt::AccessibleDescriptionRole:
            return StateText(p);
        default:
            break;
    }
    return QVariant();
}

bool CKivNodeModel::SetTick(CKivUiNode* pNode, bool bTicked) {
    if (!pNode || !m_pCtl) return false;
    if (KivFailed(m_pCtl->SetTick(m_view, pNode, bTicked))) return false;
    // The node and its ancestors changed here; the rows below it are redrawn by the view, which
    // asks again for what it shows.
    for (CKivUiNode* p = pNode; p && p != m_pRoot; p = p->GetParent()) {
        QModelIndex i = IndexOf(p);
        emit dataChanged(i, i, {Qt::CheckStateRole});
    }
    if (pNode->HasChildren()) {
        QModelIndex parent = IndexOf(pNode);
        int n = rowCount(parent);
        emit dataChanged(index(0, 0, parent), index(n - 1, 0, parent), {Qt::CheckStateRole});
    }
    emit TicksChanged();
    return true;
}

bool CKivNodeModel::setData(const QModelIndex& index, const QVariant& value, int nRole) {
    if (nRole != Qt::CheckStateRole || !index.isValid() || index.column() != COL_NAME) return false;
    return SetTick(Node(index), value.toInt() == Qt::Checked);
}

Qt::ItemFlags CKivNodeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == COL_NAME) f |= Qt::ItemIsUserCheckable;
    if (!Node(index)->HasChildren()) f |= Qt::ItemNeverHasChildren;
    return f;
}

QVariant CKivNodeModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (orientation == Qt::Horizontal && nRole == Qt::DisplayRole && nSection >= 0 && nSection < m_columns.size())
        return m_columns[nSection];
    return QVariant();
}

QColor CKivNodeModel::GoneColour() { return QColor(0xb0, 0x3a, 0x2e); }

QIcon CKivNodeModel::HoldsGoneIcon() {
    static const QIcon s_icon = [] {
        QIcon base = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        QIcon out;
        for (int n : {16, 24, 32, 48}) {
            QPixmap pm = base.pixmap(n, n);
            QPainter paint(&pm);
            paint.setRenderHint(QPainter::Antialiasing);
            const qreal d = n * 0.45;
            paint.setPen(QPen(Qt::white, n / 16.0));
            paint.setBrush(GoneColour());
            paint.drawEllipse(QRectF(n - d - 0.5, n - d - 0.5, d, d));
            paint.end();
            out.addPixmap(pm);
        }
        return out;
    }();
    return s_icon;
}

void CKivNodeModel::sort(int nColumn, Qt::SortOrder order) {
    static const CKivNodeSorter::Key kKeys[COL_COUNT] = {CKivNodeSorter::BY_NAME, CKivNodeSorter::BY_SIZE,
                                                         CKivNodeSorter::BY_MODIFIED, CKivNodeSorter::BY_CREATED,
                                                         CKivNodeSorter::BY_STATE, CKivNodeSorter::BY_FOLDER};
    if (nColumn < 0 || nColumn >= COL_COUNT || !m_pRoot) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    CKivNodeSorter::Sort(m_pRoot, kKeys[nColumn], order == Qt::DescendingOrder);
    // The nodes stay; only their rows changed.
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before) after << IndexOf(Node(i), i.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
