#include "CKivNodeModel.h"

#include <QApplication>
#include <QDateTime>
#include <QFont>
#include <QIcon>
#include <QStyle>

#include "CKivSkin.h"
#include "CKivUiNode.h"
#include "KivFunction.h"
#include "KivScanResult.h"

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
                 skin.Text("PanelFileRes", "ColState", "State")};
    m_deleted = skin.Text("PanelFileRes", "TxtDeleted", "Deleted");
    m_lost = skin.Text("PanelFileRes", "TxtLost", "Lost");
    m_carved = skin.Text("PanelFileRes", "TxtCarved", "Found by content");
    m_existing = skin.Text("PanelFileRes", "TxtExisting");
    m_damaged = skin.Text("PanelFileRes", "TxtDamaged", "Damaged");
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

QString CKivNodeModel::TimeText(uint64_t nFileTime) {
    if (nFileTime == 0) return QString();
    constexpr int64_t kUnixEpoch = 11644473600LL;  // seconds from 1601 to 1970
    int64_t nSec = static_cast<int64_t>(nFileTime / 10000000ULL) - kUnixEpoch;
    return QDateTime::fromSecsSinceEpoch(nSec).toString("yyyy-MM-dd HH:mm");
}

QString CKivNodeModel::StateText(const CKivUiNode* p) const {
    if (p->IsFile()) {
        if (p->IsCarved()) return m_carved;
        uint8_t s = p->GetRecordState();
        QString t = (s & KIV_REC_DELETED) ? m_deleted : m_existing;
        if (s & KIV_REC_DAMAGED) t = t.isEmpty() ? m_damaged : t + ", " + m_damaged;
        return t;
    }
    if (p->GetKind() == CKivUiNode::KIND_DIR && !p->GetEngineNode() && p->IsMarkedDeleted()) return m_lost;
    return QString();
}

QVariant CKivNodeModel::data(const QModelIndex& index, int nRole) const {
    const CKivUiNode* p = index.isValid() ? Node(index) : nullptr;
    if (!p) return QVariant();
    const int col = index.column();
    switch (nRole) {
        case Qt::DisplayRole:
            switch (col) {
                case COL_NAME: return QString::fromUtf8(p->GetName());
                case COL_SIZE: return p->IsFile() ? QString::fromStdString(KivSizeText(p->GetSize())) : QString();
                case COL_MODIFIED: return TimeText(p->GetModificationTime());
                case COL_CREATED: return TimeText(p->GetCreationTime());
                case COL_STATE: return StateText(p);
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
            return s->standardIcon(p->IsFile() ? QStyle::SP_FileIcon : QStyle::SP_DirIcon);
        }
        case Qt::ForegroundRole:
            // Deleted, lost and carved entries stand out from what is still on the volume.
            if (p->IsFile() ? (p->IsCarved() || (p->GetRecordState() & KIV_REC_DELETED)) : p->IsMarkedDeleted())
                return QColor(0xb0, 0x3a, 0x2e);
            break;
        case Qt::TextAlignmentRole:
            if (col == COL_SIZE) return int(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case Qt::ToolTipRole:
            if (col == COL_NAME) return QString::fromStdString(p->GetFullPath());
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
