// The results panel: the folder and type views of the core's CKivResultController as a tree of
// folders (tri-state ticks) beside a list of the chosen folder's entries with their columns; the
// totals of what is ticked, the state of the scan, "Save scan…", and the recovery on Next.
#pragma once

#include <memory>
#include <vector>

#include "CKivResultController.h"
#include "CWinCheckImages.h"
#include "CWinPanel.h"

class CKivUiNode;
class CWinPanelFinal;

class CWinPanelFileRes : public CWinPanel {
public:
    CWinPanelFileRes();
    ~CWinPanelFileRes() override;
    void SetFinal(CWinPanelFinal* p) { m_pFinal = p; }
    void OnEnter() override;
    bool OnNext() override;
    void Layout(const RECT& rcArea) override;

    bool HasViews() const { return m_bViews; }
    // Lets go of the views before the scan behind them is replaced.
    void Forget();
    // Builds the views of the back-stage's scan result (0x05A when it holds nothing).
    KivResult BuildScan();
    bool SaveScan(const std::wstring& strFile);

protected:
    void OnCreate() override;
    LRESULT OnCommand(int nId, int nCode, HWND hCtl) override;
    LRESULT OnNotify(NMHDR* pHdr) override;
    LRESULT HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;

private:
    using View = CKivResultController::View;
    KivResult Build();
    View CurrentView() const;
    void ShowView(View view);
    HTREEITEM AddTreeItem(HTREEITEM hParent, CKivUiNode* pNode);
    void FillChildren(HTREEITEM hItem);
    void ShowFolder(CKivUiNode* pFolder);
    void SelectInTree(CKivUiNode* pNode);
    void Tick(CKivUiNode* pNode);
    void RefreshTicks(HTREEITEM hFirst);
    void UpdateTotals();
    void UpdateScanState();
    CKivUiNode* TreeNode(HTREEITEM h) const;

    std::unique_ptr<CKivResultController> m_pCtl;
    CWinPanelFinal* m_pFinal = nullptr;
    CWinCheckImages m_checks;
    HWND m_hState = nullptr, m_hTabs = nullptr, m_hTree = nullptr, m_hList = nullptr, m_hTotals = nullptr;
    bool m_bViews = false, m_bBusy = false, m_bFilling = false;
    CKivUiNode* m_pFolder = nullptr;           // the folder the list shows
    std::vector<CKivUiNode*> m_rows;           // its entries
    std::wstring m_cell;                       // the text handed to the list
};
