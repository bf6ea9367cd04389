// The results panel: the folder view, the type view and the filter's list in tabs, each a tree
// with tri-state ticks and the running totals of what is ticked; the filter dialog, the preview of
// one file, "Save scan..." (the scan into a session file, to come back to without scanning again),
// and Next as "Recover…": the destination dialog, the recovery and its result.
#pragma once

#include <memory>

#include "CKivResultController.h"
#include "CPanelBase.h"

class QLabel;
class QTabWidget;
class QTreeView;
class CKivNodeModel;
class CKivUiNode;
class CPanelFinal;

class CPanelFileRes : public CPanelBase {
    Q_OBJECT
public:
    explicit CPanelFileRes(QWidget* pParent);
    ~CPanelFileRes() override;

    void SetFinal(CPanelFinal* pFinal) { m_pFinal = pFinal; }

    // Lets go of the trees before a new scan replaces them (ticks and totals start again).
    void Forget();
    // Builds the views of the last scan under the build dialog (once per scan). 0x05A when the
    // scan found nothing to show.
    KivResult Build();
    // The same for the scan just made or taken over, which may have found no partition at all
    // (0x05A then too).
    KivResult BuildScan();

    void OnEnter() override;
    bool OnNext() override;

    // The tab shown, as the controller's view.
    CKivResultController::View CurrentView() const;
    void ShowView(CKivResultController::View view);
    QTreeView* Tree(CKivResultController::View view) const { return m_pTrees[view]; }
    CKivNodeModel* Model(CKivResultController::View view) const { return m_pModels[view]; }
    CKivResultController* Controller() const { return m_pCtl.get(); }
    QString TotalsText() const;

    // The filter dialog's result applied (on the filter's worker); the list is shown in its tab.
    KivResult ApplyFilter(const CKivResultFilter& filter);
    // Recovers the file into the preview folder and shows it (or opens it with the desktop's
    // program). 0x053 when it could not be recovered.
    KivResult Preview(CKivUiNode* pFile);
    void OnFilter();
    void OnPreview();
    // Saves the scan shown into the file (what "Save scan..." does once a file is chosen) and
    // says how it went; false when it failed.
    bool SaveScan(const QString& strFile);
    void OnSaveScan();

private:
    void SetModel(CKivResultController::View view, CKivUiNode* pRoot);
    void UpdateTotals();
    CKivUiNode* CurrentNode() const;
    void OnContextMenu(const QPoint& pos);

    QTabWidget* m_pTabs;
    QTreeView* m_pTrees[3];
    CKivNodeModel* m_pModels[3] = {nullptr, nullptr, nullptr};
    QLabel* m_pTotals;
    CPanelFinal* m_pFinal = nullptr;
    std::unique_ptr<CKivResultController> m_pCtl;
    bool m_bBusy = false;
};
