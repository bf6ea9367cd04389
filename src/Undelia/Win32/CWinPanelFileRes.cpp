#include "CWinPanelFileRes.h"

#include <commctrl.h>

#include <algorithm>

#include "CDataBackstage.h"
#include "CKivRecoveryRun.h"
#include "CKivSessionDriver.h"
#include "CKivUiNode.h"
#include "CWinFilterDlg.h"
#include "CWinPanelFinal.h"
#include "CWinPanelHome.h"
#include "CWinPreviewDlg.h"
#include "CWinRecovResDlg.h"
#include "CWinProgressDlg.h"
#include "CWinPrompt.h"
#include "CWinSelectDirDlg.h"
#include "CWinSkin.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "KivWinIds.h"
#include "KivWinShell.h"

namespace {

enum { COL_NAME, COL_SIZE, COL_MODIFIED, COL_CREATED, COL_STATE, COL_COUNT };

bool HasFolderChild(const CKivUiNode* p) {
    if (!p->HasChildren()) return false;
    for (const CKivUiNode* c : p->GetChildren())
        if (!c->IsFile()) return true;
    return false;
}

}  // namespace

CWinPanelFileRes::CWinPanelFileRes()
    : CWinPanel("PanelFileRes", 3), m_pCtl(std::make_unique<CKivResultController>(CDataBackstage::Get())) {
    SetNextEntry("BtnRecover");
}

CWinPanelFileRes::~CWinPanelFileRes() = default;

void CWinPanelFileRes::OnCreate() {
    const CWinSkin& skin = CWinSkin::Get();
    m_hState = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, IDC_RES_STATE, "PanelFileRes", "StScanState", {32, 94, 736, 32});
    m_hGoOn = AddButton(IDC_RES_GOON, "BtnGoOn", L"Go on scanning…", {778, 94, 150, 32});
    ShowWindow(m_hGoOn, SW_HIDE);
    m_hTabs = AddControl(WC_TABCONTROLW, L"", WS_TABSTOP | TCS_FOCUSNEVER | WS_CLIPSIBLINGS, IDC_RES_TABS, "PanelFileRes", "Tabs",
                         {32, 132, 896, 346});
    const char* kTabs[] = {"TabDir", "TabType"};
    const wchar_t* kDefaults[] = {L"Folders", L"File types"};
    for (int i = 0; i < 2; ++i) {
        std::wstring t = skin.Text("PanelFileRes", kTabs[i], kDefaults[i]);
        TCITEMW ti{};
        ti.mask = TCIF_TEXT;
        ti.pszText = t.data();
        TabCtrl_InsertItem(m_hTabs, i, &ti);
    }
    // The tree and the list lie on the tab's page; their places follow the tab control's.
    m_hTree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                              0, 0, 10, 10, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_RES_TREE)),
                              GetModuleHandleW(nullptr), nullptr);
    m_hList = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                              0, 0, 10, 10, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_RES_LIST)),
                              GetModuleHandleW(nullptr), nullptr);
    ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const char* kCols[] = {"ColName", "ColSize", "ColModified", "ColCreated", "ColState"};
    const wchar_t* kColDefs[] = {L"Name", L"Size", L"Modified", L"Created", L"State"};
    for (int i = 0; i < COL_COUNT; ++i) {
        std::wstring t = skin.Text("PanelFileRes", kCols[i], kColDefs[i]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.fmt = i == COL_SIZE ? LVCFMT_RIGHT : LVCFMT_LEFT;
        col.pszText = t.data();
        col.cx = 100;
        ListView_InsertColumn(m_hList, i, &col);
    }
    AddButton(IDC_RES_FILTER, "BtnFilter", L"Filter…", {32, 486, 110, 32});
    AddButton(IDC_RES_PREVIEW, "BtnPreview", L"Preview", {152, 486, 110, 32});
    m_hTotals = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, IDC_RES_TOTALS, "PanelFileRes", "StTotals",
                           {272, 486, 420, 32});
    AddButton(IDC_RES_SAVESCAN, "BtnSaveScan", L"Save scan…", {32, 536, 130, 36});
}

void CWinPanelFileRes::Layout(const RECT& rcArea) {
    CWinPanel::Layout(rcArea);
    if (!m_hTabs) return;
    const CWinSkin& skin = CWinSkin::Get();
    RECT page = skin.Rect("PanelFileRes", "Tabs", {32, 132, 896, 346});
    TabCtrl_AdjustRect(m_hTabs, FALSE, &page);
    const int split = page.left + (page.right - page.left) * 28 / 100;
    SetWindowPos(m_hTree, HWND_TOP, page.left, page.top, split - page.left - skin.S(4), page.bottom - page.top, 0);
    SetWindowPos(m_hList, HWND_TOP, split, page.top, page.right - split, page.bottom - page.top, 0);
    for (HWND h : {m_hTree, m_hList}) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(skin.Font()), TRUE);
    TreeView_SetImageList(m_hTree, m_checks.Get(), TVSIL_STATE);
    ListView_SetImageList(m_hList, m_checks.GetForList(), LVSIL_STATE);
    TreeView_SetItemHeight(m_hTree, skin.S(22));
    SizeColumns(CurrentView());
}

void CWinPanelFileRes::SizeColumns(View view) {
    const CWinSkin& skin = CWinSkin::Get();
    RECT lr;
    GetClientRect(m_hList, &lr);
    int w[] = {0, skin.S(76), skin.S(122), skin.S(122), skin.S(136)};
    // The filter's folder column shares the room of the name, the larger part: it is the longer.
    const int nShared = lr.right - w[1] - w[2] - w[4];
    if (view == View::VIEW_FILTER) w[3] = std::max<int>(skin.S(122), nShared * 11 / 20);
    int rest = lr.right - w[1] - w[2] - w[3] - w[4];
    const int nMinName = skin.S(view == View::VIEW_FILTER ? 100 : 140);
    for (int i = 0; i < COL_COUNT; ++i) ListView_SetColumnWidth(m_hList, i, i == COL_NAME ? std::max(rest, nMinName) : w[i]);
}

CKivResultController::View CWinPanelFileRes::CurrentView() const {
    switch (TabCtrl_GetCurSel(m_hTabs)) {
        case 1: return View::VIEW_TYPE;
        case 2: return View::VIEW_FILTER;
        default: return View::VIEW_DIR;
    }
}

void CWinPanelFileRes::SetFilterTab(bool bShown) {
    // A tab control cannot grey out a tab: the filter's is there while it has a view.
    if (bShown == m_bFilterTab) return;
    m_bFilterTab = bShown;
    if (!bShown) {
        if (TabCtrl_GetCurSel(m_hTabs) == 2) TabCtrl_SetCurSel(m_hTabs, 0);
        TabCtrl_DeleteItem(m_hTabs, 2);
        return;
    }
    std::wstring t = CWinSkin::Get().Text("PanelFileRes", "TabFilter", L"Filter results");
    TCITEMW ti{};
    ti.mask = TCIF_TEXT;
    ti.pszText = t.data();
    TabCtrl_InsertItem(m_hTabs, 2, &ti);
}

CKivUiNode* CWinPanelFileRes::CurrentFile() const {
    // The tree holds folders only: the file is the list's chosen row.
    int n = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED);
    if (n < 0) n = ListView_GetNextItem(m_hList, -1, LVNI_FOCUSED);
    if (n >= 0 && static_cast<size_t>(n) < m_rows.size() && m_rows[static_cast<size_t>(n)]->IsFile()) return m_rows[static_cast<size_t>(n)];
    return nullptr;
}

CKivUiNode* CWinPanelFileRes::TreeNode(HTREEITEM h) const {
    if (!h) return nullptr;
    TVITEMW it{};
    it.mask = TVIF_PARAM | TVIF_HANDLE;
    it.hItem = h;
    TreeView_GetItem(m_hTree, &it);
    return reinterpret_cast<CKivUiNode*>(it.lParam);
}

HTREEITEM CWinPanelFileRes::AddTreeItem(HTREEITEM hParent, CKivUiNode* pNode, const std::wstring& strLabel) {
    std::wstring name = strLabel.empty() ? KivW(pNode->GetName()) : strLabel;
    TVINSERTSTRUCTW ins{};
    ins.hParent = hParent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_CHILDREN;
    ins.item.pszText = name.data();
    ins.item.lParam = reinterpret_cast<LPARAM>(pNode);
    ins.item.cChildren = HasFolderChild(pNode) ? 1 : 0;
    ins.item.stateMask = TVIS_STATEIMAGEMASK;
    ins.item.state = INDEXTOSTATEIMAGEMASK(CWinCheckImages::ImageOf(pNode->GetState()));
    return TreeView_InsertItem(m_hTree, &ins);
}

void CWinPanelFileRes::FillChildren(HTREEITEM hItem) {
    CKivUiNode* p = TreeNode(hItem);
    if (!p || TreeView_GetChild(m_hTree, hItem)) return;
    for (CKivUiNode* c : p->GetChildren())
        if (!c->IsFile()) AddTreeItem(hItem, c);
}

void CWinPanelFileRes::ShowView(View view) {
    m_bFilling = true;
    TabCtrl_SetCurSel(m_hTabs, view == View::VIEW_FILTER ? 2 : view == View::VIEW_TYPE ? 1 : 0);
    TreeView_DeleteAllItems(m_hTree);
    ShowFolder(nullptr);
    // The filter's files come from many folders: the list tells where each lies instead of when
    // it was made.
    const CWinSkin& skin = CWinSkin::Get();
    std::wstring col = view == View::VIEW_FILTER ? skin.Text("PanelFileRes", "ColFolder", L"Folder") : skin.Text("PanelFileRes", "ColCreated", L"Created");
    LVCOLUMNW lvc{};
    lvc.mask = LVCF_TEXT;
    lvc.pszText = col.data();
    ListView_SetColumn(m_hList, COL_CREATED, &lvc);
    SizeColumns(view);
    CKivUiNode* pRoot = m_pCtl->Root(view);
    HTREEITEM hFirst = nullptr;
    if (pRoot && view == View::VIEW_FILTER) {
        // One item for what passed: its files, or the numbered folders they were grouped into.
        hFirst = AddTreeItem(TVI_ROOT, pRoot, skin.Text("PanelFileRes", "TabFilter", L"Filter results"));
        FillChildren(hFirst);
        TreeView_Expand(m_hTree, hFirst, TVE_EXPAND);
    } else if (pRoot)
        for (CKivUiNode* c : pRoot->GetChildren())
            if (!c->IsFile()) {
                HTREEITEM h = AddTreeItem(TVI_ROOT, c);
                if (!hFirst) hFirst = h;
                // The partitions (or type groups) open at once: their contents are what the user came for.
                FillChildren(h);
                TreeView_Expand(m_hTree, h, TVE_EXPAND);
            }
    m_bFilling = false;
    if (hFirst) TreeView_SelectItem(m_hTree, hFirst);
    ShowFolder(TreeNode(hFirst));
    UpdateTotals();
}

void CWinPanelFileRes::ShowFolder(CKivUiNode* pFolder) {
    m_pFolder = pFolder;
    m_rows.clear();
    if (pFolder) m_rows.assign(pFolder->GetChildren().begin(), pFolder->GetChildren().end());
    // The texts are asked for when shown; the ticks are the rows' own, set here and on each tick.
    SendMessageW(m_hList, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(m_hList);
    for (size_t i = 0; i < m_rows.size(); ++i) {
        LVITEMW it{};
        it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        it.iItem = static_cast<int>(i);
        it.pszText = LPSTR_TEXTCALLBACKW;
        it.lParam = static_cast<LPARAM>(i);
        it.stateMask = LVIS_STATEIMAGEMASK;
        it.state = INDEXTOSTATEIMAGEMASK(CWinCheckImages::ImageOf(m_rows[i]->GetState()));
        const int n = ListView_InsertItem(m_hList, &it);
        for (int col = 1; col < COL_COUNT; ++col) ListView_SetItemText(m_hList, n, col, LPSTR_TEXTCALLBACKW);
    }
    if (!m_rows.empty()) ListView_SetItemState(m_hList, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    SendMessageW(m_hList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hList, nullptr, TRUE);
}

void CWinPanelFileRes::SelectInTree(CKivUiNode* pNode) {
    // The tree items of the node's ancestors, opened one by one from the top.
    std::vector<CKivUiNode*> chain;
    for (CKivUiNode* p = pNode; p && p->GetParent(); p = p->GetParent()) chain.push_back(p);
    HTREEITEM hParent = TVI_ROOT, hFound = nullptr;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (hParent != TVI_ROOT) {
            FillChildren(hParent);
            TreeView_Expand(m_hTree, hParent, TVE_EXPAND);
        }
        hFound = nullptr;
        for (HTREEITEM h = hParent == TVI_ROOT ? TreeView_GetRoot(m_hTree) : TreeView_GetChild(m_hTree, hParent); h;
             h = TreeView_GetNextSibling(m_hTree, h))
            if (TreeNode(h) == *it) hFound = h;
        if (!hFound) return;
        hParent = hFound;
    }
    if (hFound) TreeView_SelectItem(m_hTree, hFound);
}

void CWinPanelFileRes::Tick(CKivUiNode* pNode) {
    if (!pNode) return;
    m_pCtl->SetTick(CurrentView(), pNode, pNode->GetState() != CKivUiNode::STATE_TICKED);
    RefreshTicks(TreeView_GetRoot(m_hTree));
    for (size_t i = 0; i < m_rows.size(); ++i)
        ListView_SetItemState(m_hList, static_cast<int>(i), INDEXTOSTATEIMAGEMASK(CWinCheckImages::ImageOf(m_rows[i]->GetState())),
                              LVIS_STATEIMAGEMASK);
    UpdateTotals();
}

void CWinPanelFileRes::RefreshTicks(HTREEITEM hFirst) {
    for (HTREEITEM h = hFirst; h; h = TreeView_GetNextSibling(m_hTree, h)) {
        CKivUiNode* p = TreeNode(h);
        if (!p) continue;
        TVITEMW it{};
        it.mask = TVIF_STATE | TVIF_HANDLE;
        it.hItem = h;
        it.stateMask = TVIS_STATEIMAGEMASK;
        it.state = INDEXTOSTATEIMAGEMASK(CWinCheckImages::ImageOf(p->GetState()));
        TreeView_SetItem(m_hTree, &it);
        RefreshTicks(TreeView_GetChild(m_hTree, h));
    }
}

void CWinPanelFileRes::UpdateTotals() { SetWindowTextW(m_hTotals, KivW(m_pCtl->TotalsText(CurrentView())).c_str()); }

void CWinPanelFileRes::UpdateScanState() {
    SetWindowTextW(m_hState, m_bViews ? KivW(m_pCtl->ScanStateText()).c_str() : L"");
    ShowWindow(m_hGoOn, m_bViews && m_pCtl->ScanStopped() ? SW_SHOW : SW_HIDE);
}

void CWinPanelFileRes::Forget() {
    m_bFilling = true;
    TreeView_DeleteAllItems(m_hTree);
    m_bFilling = false;
    ShowFolder(nullptr);
    m_bViews = false;
    SetFilterTab(false);
    m_pCtl = std::make_unique<CKivResultController>(CDataBackstage::Get());
    UpdateScanState();
    UpdateTotals();
}

KivResult CWinPanelFileRes::Build() {
    if (m_bViews) return KIV_OK;
    CWinProgressDlg dlg(CWinProgressDlg::KIND_BUILD, m_hMain);
    dlg.Begin();
    KivResult rc = m_pCtl->FileInit(&dlg);
    dlg.End();
    if (KivFailed(rc)) return rc;
    m_bViews = true;
    ShowView(View::VIEW_DIR);
    UpdateScanState();
    return KIV_OK;
}

KivResult CWinPanelFileRes::BuildScan() {
    std::vector<CKivScanResPart*> parts;
    if (KivResult rc = CDataBackstage::Get().GetScanResult(&parts); KivFailed(rc)) return rc;
    if (parts.empty()) return KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_NOTHINGFOUND);
    return Build();
}

void CWinPanelFileRes::OnEnter() {
    if (!m_bViews)
        if (KivResult rc = Build(); KivFailed(rc)) CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
    UpdateTotals();
    SetFocus(m_hTree);
}

bool CWinPanelFileRes::SaveScan(const std::wstring& strFile) {
    std::string why;
    HCURSOR hOld = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    KivResult rc = CKivSessionDriver(CDataBackstage::Get()).Save(KivU(strFile), &why);
    SetCursor(hOld);
    if (KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::HintArg("PanelFileRes", "SaveScanFailed", KivW(why)), true);
        return false;
    }
    CWinPrompt::Show(m_hMain, CWinSkin::HintArg("PanelFileRes", "SaveScanDone", strFile));
    return true;
}

bool CWinPanelFileRes::OnNext() {
    if (m_bBusy) return false;
    const View view = CurrentView();
    uint64_t nFiles = 0, nBytes = 0;
    m_pCtl->GetTotals(view, &nFiles, &nBytes);
    if (nFiles == 0) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_NOSELECTION)));
        return false;
    }
    CWinSelectDirDlg pick(nBytes, m_hMain);
    if (!pick.Run()) return false;
    const std::string folder = KivU(pick.Folder());

    CWinPrompt prompt(m_hMain);
    // The folder dialog has asked about the free space already.
    prompt.SetAnswered(KIV_ASK_LOW_SPACE);
    KivRecoverSummary sum;
    // Asked before the progress window opens; the run then does not ask again.
    if (KivResult rc = m_pCtl->ConfirmRecover(view, folder, &prompt, &sum); KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        return false;
    }
    if (sum.bDeclined) return false;
    prompt.SetAnswered(KIV_ASK_RECOVER_INTO);
    CKivRecoveryRun run(CDataBackstage::Get(), *m_pCtl);
    run.WantReport("Undelia", KivU(GetCommandLineW()));
    KivResult rc;
    m_bBusy = true;
    {
        CWinProgressDlg dlg(CWinProgressDlg::KIND_RECOVER, m_hMain);
        dlg.Begin();
        rc = run.Recover(view, folder, &dlg, &prompt, &sum);
        dlg.End();
    }
    m_bBusy = false;
    if (sum.bDeclined) return false;
    std::vector<std::string> problems;
    const CWinSkin& skin = CWinSkin::Get();
    for (const CKivRecoveryRun::Outcome& o : run.Damaged())
        problems.push_back(KivU(skin.Text("DlgRecovRes", "TxtDamagedItem", L"damaged")) + ": " + KivWinShownPath(CKivRecoveryRun::Line(o)));
    for (const CKivRecoveryRun::Outcome& o : run.Failed())
        problems.push_back(KivU(skin.Text("DlgRecovRes", "TxtFailedItem", L"failed")) + ": " + KivWinShownPath(CKivRecoveryRun::Line(o)));
    CKivRecoveryReport* pReport = run.FinishReport();
    if (KivFailed(rc) && KivErrNo(rc) != KIV_E_STOPPED) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        if (sum.folders.empty()) return false;
    }
    CWinRecovResDlg(sum, problems, pReport, m_hMain).Run();
    if (m_pFinal) m_pFinal->SetResult(sum, problems.size());
    return true;
}

KivResult CWinPanelFileRes::ApplyFilter(const CKivResultFilter& filter) {
    if (m_bBusy || !m_bViews) return KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_STATE);
    m_bBusy = true;
    // The old list dies with the new view: the window lets go of its nodes first.
    if (CurrentView() == View::VIEW_FILTER) ShowView(View::VIEW_DIR);
    SetFilterTab(false);
    CKivUiNode* pRoot = nullptr;
    HCURSOR hOld = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    KivResult rc = m_pCtl->ApplyFilter(filter, &pRoot);
    SetCursor(hOld);
    m_bBusy = false;
    if (KivFailed(rc) || !pRoot) {
        if (KivSucceeded(rc)) rc = KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_NOTHINGFOUND);
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc));
        UpdateTotals();
        return rc;
    }
    SetFilterTab(true);
    ShowView(View::VIEW_FILTER);
    SetFocus(m_hList);
    return KIV_OK;
}

KivResult CWinPanelFileRes::Preview(CKivUiNode* pFile) {
    if (m_bBusy || !pFile || !pFile->IsFile()) return KivMakeCode(__LINE__, KIV_MOD_UI, KIV_E_STATE);
    m_bBusy = true;
    CWinPrompt prompt(m_hMain);
    std::string path;
    bool bExternal = false;
    KivResult rc;
    {
        CWinProgressDlg dlg(CWinProgressDlg::KIND_RECOVER, m_hMain);
        if (pFile->GetSize() <= CKivResultController::kPreviewLimit) dlg.Begin();
        rc = m_pCtl->Preview(pFile, &dlg, &prompt, &path, &bExternal);
        dlg.End();
    }
    m_bBusy = false;
    if (KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        return rc;
    }
    if (path.empty()) return rc;  // too large: the hint was shown
    const std::wstring shown = KivW(KivWinShownPath(path));
    if (bExternal) {
        // Office files and archives: the system's program; the copy stays until the next
        // preview or the end of the program.
        KivShellOpen(m_hMain, shown);
        return rc;
    }
    {
        CWinPreviewDlg dlg(shown, KivW(pFile->GetName()), m_hMain);
        dlg.Run();
    }
    CKivResultController::ClearPreviewFolder();
    return rc;
}

void CWinPanelFileRes::OnGoOn() {
    if (m_bBusy || !m_pHome) return;
    const CWinSkin& skin = CWinSkin::Get();
    std::wstring name = KivW(CDataBackstage::Get().GetScanMediumPath());
    if (size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) name = name.substr(slash + 1);
    if (size_t dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) name = name.substr(0, dot);
    if (name.empty()) name = L"scan";
    // The scan goes on from a file of its own, as an opened one does.
    std::wstring file = KivAskSaveFile(m_hMain, skin.Text("PanelFileRes", "DlgGoOn", L"Keep the scan in a file to go on with it"),
                                       skin.Text("PanelFileRes", "ScanFiles", L"Saved scans (*.und);;All files (*)"),
                                       KivUserFolder() + L"\\" + name + L".und", L"und");
    if (file.empty()) return;
    std::string why;
    if (KivFailed(CKivSessionDriver(CDataBackstage::Get()).Save(KivU(file), &why))) {
        CWinPrompt::Show(m_hMain, CWinSkin::HintArg("PanelFileRes", "SaveScanFailed", KivW(why)), true);
        return;
    }
    m_pHome->OpenScan(file);
}

LRESULT CWinPanelFileRes::OnCommand(int nId, int nCode, HWND hCtl) {
    if (nCode == BN_CLICKED && (nId == IDC_RES_FILTER || nId == IDC_RES_PREVIEW || nId == IDC_RES_GOON)) {
        if (m_bBusy || !m_bViews) return 0;
        if (nId == IDC_RES_GOON) OnGoOn();
        if (nId == IDC_RES_PREVIEW) {
            if (CKivUiNode* p = CurrentFile()) Preview(p);
        }
        if (nId == IDC_RES_FILTER) {
            CWinFilterDlg dlg(m_hMain);
            if (dlg.Run()) ApplyFilter(dlg.Filter());
        }
        return 0;
    }
    if (nId == IDC_RES_SAVESCAN && nCode == BN_CLICKED) {
        if (m_bBusy) return 0;
        const CWinSkin& skin = CWinSkin::Get();
        // Named after the medium, in the user's folder: never on the medium being recovered.
        std::wstring name = KivW(CDataBackstage::Get().GetScanMediumPath());
        size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos) name = name.substr(slash + 1);
        if (size_t dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) name = name.substr(0, dot);
        if (name.empty()) name = L"scan";
        std::wstring file = KivAskSaveFile(m_hMain, skin.Text("PanelFileRes", "DlgSaveScan", L"Save scan"),
                                           skin.Text("PanelFileRes", "ScanFiles", L"Saved scans (*.und);;All files (*)"),
                                           KivUserFolder() + L"\\" + name + L".und", L"und");
        if (!file.empty()) SaveScan(file);
        return 0;
    }
    return CWinPanel::OnCommand(nId, nCode, hCtl);
}

LRESULT CWinPanelFileRes::OnNotify(NMHDR* pHdr) {
    if (pHdr->hwndFrom == m_hTabs && pHdr->code == TCN_SELCHANGE) {
        ShowView(CurrentView());
        return 0;
    }
    if (pHdr->hwndFrom == m_hTree) {
        switch (pHdr->code) {
            case TVN_ITEMEXPANDINGW: {
                auto* p = reinterpret_cast<NMTREEVIEWW*>(pHdr);
                if (p->action == TVE_EXPAND) FillChildren(p->itemNew.hItem);
                return 0;
            }
            case TVN_SELCHANGEDW:
                if (!m_bFilling) ShowFolder(TreeNode(reinterpret_cast<NMTREEVIEWW*>(pHdr)->itemNew.hItem));
                return 0;
            case NM_CLICK: {
                TVHITTESTINFO hit{};
                GetCursorPos(&hit.pt);
                ScreenToClient(m_hTree, &hit.pt);
                TreeView_HitTest(m_hTree, &hit);
                if (hit.hItem && (hit.flags & TVHT_ONITEMSTATEICON)) Tick(TreeNode(hit.hItem));
                return 0;
            }
            case TVN_KEYDOWN:
                if (reinterpret_cast<NMTVKEYDOWN*>(pHdr)->wVKey == VK_SPACE) {
                    Tick(TreeNode(TreeView_GetSelection(m_hTree)));
                    return 1;
                }
                return 0;
            default: return 0;
        }
    }
    if (pHdr->hwndFrom == m_hList) {
        switch (pHdr->code) {
            case LVN_GETDISPINFOW: {
                LVITEMW& it = reinterpret_cast<NMLVDISPINFOW*>(pHdr)->item;
                if (it.iItem < 0 || static_cast<size_t>(it.iItem) >= m_rows.size()) return 0;
                const CKivUiNode* p = m_rows[static_cast<size_t>(it.iItem)];
                if (it.mask & LVIF_TEXT) {
                    switch (it.iSubItem) {
                        case COL_NAME: m_cell = KivW(p->GetName()); break;
                        case COL_SIZE: m_cell = p->IsFile() ? KivW(KivSizeTextIec(p->GetSize())) : L""; break;
                        case COL_MODIFIED: m_cell = KivW(KivNodeTimeText(p->GetModificationTime())); break;
                        case COL_CREATED:
                            m_cell = CurrentView() == View::VIEW_FILTER ? KivW(KivWinShownPath(p->GetPath()))
                                                                        : KivW(KivNodeTimeText(p->GetCreationTime()));
                            break;
                        case COL_STATE: m_cell = KivW(KivNodeStateText(*p)); break;
                        default: m_cell.clear(); break;
                    }
                    lstrcpynW(it.pszText, m_cell.c_str(), it.cchTextMax);
                }
                return 0;
            }
            case NM_CLICK: {
                auto* p = reinterpret_cast<NMITEMACTIVATE*>(pHdr);
                LVHITTESTINFO hit{};
                hit.pt = p->ptAction;
                ListView_SubItemHitTest(m_hList, &hit);
                if (hit.iItem >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) && static_cast<size_t>(hit.iItem) < m_rows.size())
                    Tick(m_rows[static_cast<size_t>(hit.iItem)]);
                return 0;
            }
            case NM_DBLCLK:
            case LVN_ITEMACTIVATE: {
                // A folder of the list opens in the tree; a file is previewed.
                int n = reinterpret_cast<NMITEMACTIVATE*>(pHdr)->iItem;
                if (n < 0 || static_cast<size_t>(n) >= m_rows.size()) return 0;
                CKivUiNode* p = m_rows[static_cast<size_t>(n)];
                if (!p->IsFile()) SelectInTree(p);
                else if (pHdr->code == NM_DBLCLK) Preview(p);
                return 0;
            }
            case LVN_KEYDOWN:
                if (reinterpret_cast<NMLVKEYDOWN*>(pHdr)->wVKey == VK_SPACE) {
                    int n = ListView_GetNextItem(m_hList, -1, LVNI_FOCUSED);
                    if (n >= 0 && static_cast<size_t>(n) < m_rows.size()) Tick(m_rows[static_cast<size_t>(n)]);
                }
                return 0;
            default: return 0;
        }
    }
    return 0;
}

LRESULT CWinPanelFileRes::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == m_hState) {
        HDC hDC = reinterpret_cast<HDC>(wParam);
        SetBkColor(hDC, CWinSkin::Get().Back());
        // A stopped scan shows only part of what is there: said in a colour that is seen.
        SetTextColor(hDC, m_bViews && m_pCtl->ScanStopped() ? RGB(0xa8, 0x3a, 0x00) : CWinSkin::Get().Muted());
        return reinterpret_cast<LRESULT>(CWinSkin::Get().BackBrush());
    }
    return CWinPanel::HandleMessage(nMsg, wParam, lParam);
}
