// The results panel: the folder, type and filter views of the core's CKivResultController as a
// tree of folders (tri-state ticks) beside a list of the chosen folder's entries with their
// columns; the filter and the preview of one file, the totals of what is ticked, the state of
// the scan with "Go on scanning…" for a stopped one, "Save scan…", and the recovery on Next.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivResultController.h"
#include "CWinCheckImages.h"
#include "CWinPanel.h"

class CKivResultFilter;
class CKivUiNode;
class CWinPanelFinal;
class CWinPanelHome;

class CWinPanelFileRes : public CWinPanel {
public:
    CWinPanelFileRes();
    ~CWinPanelFileRes() override;
    void SetFinal(CWinPanelFinal* p) { m_pFinal = p; }
    void SetHome(CWinPanelHome* p) { m_pHome = p; }
    void OnEnter() override;
    bool OnNext() override;
    void Layout(const RECT& rcArea) override;

    bool HasViews() const { return m_bViews; }
    // Lets go of the views before the scan behind them is replaced.
    void Forget();
    // Builds the views of the back-stage's scan result (0x05A when it holds nothing).
    KivResult BuildScan();
    bool SaveScan(const std::wstring& strFile);
    // Builds and shows the filter view (0x05A with the message shown when no file passes).
    KivResult ApplyFilter(const CKivResultFilter& filter);
    // Recovers the file into the preview folder and shows it (office files and archives through
    // the shell's "open").
    KivResult Preview(CKivUiNode* pFile);

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
    void SizeColumns(View view);
    HTREEITEM AddTreeItem(HTREEITEM hParent, CKivUiNode* pNode, const std::wstring& strLabel = {});
    void FillChildren(HTREEITEM hItem);
    void ShowFolder(CKivUiNode* pFolder);
    void SelectInTree(CKivUiNode* pNode);
    void Tick(CKivUiNode* pNode);
    void RefreshTicks(HTREEITEM hFirst);
    void UpdateTotals();
    void UpdateScanState();
    CKivUiNode* TreeNode(HTREEITEM h) const;
    CKivUiNode* CurrentFile() const;
    void SetFilterTab(bool bShown);
    void OnGoOn();

    std::unique_ptr<CKivResultController> m_pCtl;
    CWinPanelFinal* m_pFinal = nullptr;
    CWinPanelHome* m_pHome = nullptr;
    CWinCheckImages m_checks;
    HWND m_hState = nullptr, m_hTabs = nullptr, m_hTree = nullptr, m_hList = nullptr, m_hTotals = nullptr, m_hGoOn = nullptr;
    bool m_bViews = false, m_bBusy = false, m_bFilling = false, m_bFilterTab = false;
    CKivUiNode* m_pFolder = nullptr;           // the folder the list shows
    std::vector<CKivUiNode*> m_rows;           // its entries
    std::wstring m_cell;                       // the text handed to the list
};
