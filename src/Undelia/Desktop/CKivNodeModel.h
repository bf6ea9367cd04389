// One results view (folders, file types or the filter's list) as a tree model over the node
// manager's display nodes. Rows are the nodes' own child lists, read as the view asks for them:
// no item is made per file, so a million files cost nothing until they are scrolled into view.
// Ticks go through the results controller, which keeps that view's totals.
#pragma once

#include <QAbstractItemModel>

#include "CKivResultController.h"

class CKivUiNode;

class CKivNodeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // COL_FOLDER (where the file lies) is for the filter's list, whose rows come from anywhere.
    enum Column { COL_NAME = 0, COL_SIZE, COL_MODIFIED, COL_CREATED, COL_STATE, COL_FOLDER, COL_COUNT };

    CKivNodeModel(CKivResultController* pCtl, CKivResultController::View view, CKivUiNode* pRoot, QObject* pParent);

    CKivUiNode* Root() const { return m_pRoot; }
    CKivResultController::View View() const { return m_view; }
    CKivUiNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(CKivUiNode* pNode, int nColumn = 0) const;

    // Ticks or unticks the node with all below it; the rows of its ancestors follow.
    bool SetTick(CKivUiNode* pNode, bool bTicked);

    QModelIndex index(int nRow, int nColumn, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int nRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation, int nRole) const override;
    // Orders every level of the view by the column (the display tree itself is reordered).
    void sort(int nColumn, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Red: deleted, lost or found by content; the folder icon with a dot: still there, holds such.
    static QColor GoneColour();
    static QIcon HoldsGoneIcon();

    // File times (100 ns since 1601, UTC) in the user's local time; empty for 0.
    static QString TimeText(uint64_t nFileTime);

signals:
    // After every tick change: the totals text is to be redrawn.
    void TicksChanged();

private:
    QString StateText(const CKivUiNode* pNode) const;

    CKivResultController* m_pCtl;
    CKivResultController::View m_view;
    CKivUiNode* m_pRoot;
    QStringList m_columns;
    QString m_holdsTip, m_unknownTip;
};
