#include "CWinPanelFileType.h"

#include <commctrl.h>

#include "CDataBackstage.h"
#include "CKivExtDescriptions.h"
#include "CProgressScan.h"
#include "CWinPanelFileRes.h"
#include "CWinProgressDlg.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivWinIds.h"

namespace {

// An item's tree entry carries its place: the item index, and its entry + 1 (0 for the item).
LPARAM Tag(size_t i, size_t nEntry) { return static_cast<LPARAM>((i << 16) | nEntry); }
size_t TagItem(LPARAM l) { return static_cast<size_t>(l) >> 16; }
size_t TagEntry(LPARAM l) { return static_cast<size_t>(l) & 0xffff; }

void SetStateImage(HWND hTree, HTREEITEM h, UINT nImage) {
    TVITEMW it{};
    it.mask = TVIF_STATE | TVIF_HANDLE;
    it.hItem = h;
    it.stateMask = TVIS_STATEIMAGEMASK;
    it.state = INDEXTOSTATEIMAGEMASK(nImage);
    TreeView_SetItem(hTree, &it);
}

}  // namespace

CWinPanelFileType::CWinPanelFileType() : CWinPanel("PanelFileType", 2) {}

void CWinPanelFileType::OnCreate() {
    const CWinSkin& skin = CWinSkin::Get();
    m_hDevice = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, IDC_TYPE_DEVICE, "PanelFileType", "StDevice",
                           {32, 94, 896, 22});
    m_hTree = AddControl(WC_TREEVIEWW, L"", TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER,
                         IDC_TYPE_TREE, "PanelFileType", "List", {32, 122, 896, 356});
    m_hAll = AddControl(L"BUTTON", skin.Text("PanelFileType", "BtnSelectAllText", L"Select all file types"),
                        BS_AUTOCHECKBOX | WS_TABSTOP, IDC_TYPE_ALL, "PanelFileType", "BtnSelectAll", {32, 490, 240, 28});
    m_hHint = AddControl(L"STATIC", skin.Text("PanelFileType", "TxtHint"), SS_LEFT | SS_NOPREFIX, IDC_TYPE_HINT, "PanelFileType",
                         "StHint", {290, 490, 638, 28});
}

void CWinPanelFileType::Layout(const RECT& rcArea) {
    CWinPanel::Layout(rcArea);
    if (m_hTree) {
        TreeView_SetImageList(m_hTree, m_checks.Get(), TVSIL_STATE);
        TreeView_SetItemHeight(m_hTree, CWinSkin::Get().S(22));
    }
}

void CWinPanelFileType::Load() {
    IKivFilter* pFilter = nullptr;
    std::vector<FilterItem> catalogue;
    if (KivResult rc = CDataBackstage::Get().GetFilterData(&pFilter, &catalogue); KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        return;
    }
    const CWinSkin& skin = CWinSkin::Get();
    m_choice.Load(catalogue, static_cast<size_t>(skin.Int("PanelFileType", "MaxShown", 0)));
    TreeView_DeleteAllItems(m_hTree);
    for (size_t i = 0; i < m_choice.Count(); ++i) {
        const CKivFileTypeChoice::Item& it = m_choice.At(i);
        std::wstring text = KivW(it.name) + (it.descript.empty() ? L"" : L"  —  " + KivW(it.descript));
        TVINSERTSTRUCTW ins{};
        ins.hParent = TVI_ROOT;
        ins.hInsertAfter = TVI_LAST;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
        ins.item.pszText = text.data();
        ins.item.lParam = Tag(i, 0);
        ins.item.stateMask = TVIS_STATEIMAGEMASK;
        ins.item.state = INDEXTOSTATEIMAGEMASK(1);
        HTREEITEM hItem = TreeView_InsertItem(m_hTree, &ins);
        for (size_t j = 0; j < it.shown.size(); ++j) {
            const std::string& e = it.shown[j];
            std::wstring child = e == CKivFileTypeChoice::kOthers
                                     ? KivW(e) + L"  —  " + skin.Text("PanelFileType", "TxtOthers", L"The group's less common types")
                                     : L"." + KivW(e);
            if (e != CKivFileTypeChoice::kOthers) {
                std::string desc = CKivExtDescriptions::Get().Of(e);
                if (!desc.empty()) child += L"  —  " + KivW(desc);
            }
            ins.hParent = hItem;
            ins.item.pszText = child.data();
            ins.item.lParam = Tag(i, j + 1);
            TreeView_InsertItem(m_hTree, &ins);
        }
    }
    m_bLoaded = true;
    Sync();
}

void CWinPanelFileType::Sync() {
    bool bAll = m_choice.Count() > 0;
    for (HTREEITEM h = TreeView_GetRoot(m_hTree); h; h = TreeView_GetNextSibling(m_hTree, h)) {
        TVITEMW it{};
        it.mask = TVIF_PARAM | TVIF_HANDLE;
        it.hItem = h;
        TreeView_GetItem(m_hTree, &it);
        const size_t i = TagItem(it.lParam);
        if (i >= m_choice.Count()) continue;
        const CKivFileTypeChoice::Item& item = m_choice.At(i);
        SetStateImage(m_hTree, h, CWinCheckImages::ImageOf(item.nState));
        size_t j = 0;
        for (HTREEITEM c = TreeView_GetChild(m_hTree, h); c; c = TreeView_GetNextSibling(m_hTree, c), ++j)
            if (j < item.ticks.size()) SetStateImage(m_hTree, c, item.ticks[j] ? 2 : 1);
        bAll = bAll && item.nState == CKivFileTypeChoice::TICKED;
    }
    SendMessageW(m_hAll, BM_SETCHECK, bAll ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CWinPanelFileType::Toggle(HTREEITEM hItem) {
    if (!hItem) return;
    TVITEMW it{};
    it.mask = TVIF_PARAM | TVIF_HANDLE | TVIF_STATE;
    it.hItem = hItem;
    it.stateMask = TVIS_STATEIMAGEMASK;
    TreeView_GetItem(m_hTree, &it);
    const size_t i = TagItem(it.lParam), nEntry = TagEntry(it.lParam);
    if (i >= m_choice.Count()) return;
    // A partly ticked group ticks whole; a ticked entry or group unticks.
    const bool bOn = ((it.state & TVIS_STATEIMAGEMASK) >> 12) != 2;
    if (nEntry == 0) m_choice.SetItem(i, bOn);
    else m_choice.SetEntry(i, nEntry - 1, bOn);
    Sync();
}

void CWinPanelFileType::OnEnter() {
    const auto& t = CDataBackstage::Get().GetDevTexts();
    std::wstring dev;
    for (size_t i = 0; i < 3; ++i)
        if (!t[i].empty()) dev += (dev.empty() ? L"" : L"   ·   ") + KivW(t[i]);
    SetWindowTextW(m_hDevice, dev.c_str());
    if (!m_bLoaded) Load();
    SetFocus(m_hTree);
    if (!TreeView_GetSelection(m_hTree)) TreeView_SelectItem(m_hTree, TreeView_GetRoot(m_hTree));
}

bool CWinPanelFileType::OnNext() {
    CDataBackstage& bs = CDataBackstage::Get();
    KivResult rc = m_choice.ApplyTo(bs);
    if (KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        return false;
    }
    // Back from the results and on again, with the same device and types: the scan in hand stays.
    if (m_pRes && m_pRes->HasViews() && CProgressScan(bs, nullptr).CanKeepScan()) return true;
    // The scan replaces the trees the results panel shows: it lets go of them first.
    if (m_pRes) m_pRes->Forget();
    {
        CWinProgressDlg dlg(CWinProgressDlg::KIND_SCAN, m_hMain, KivW(bs.GetDevTexts()[1]));
        CProgressScan scan(bs, &dlg);
        dlg.Begin();
        rc = scan.DoScan();
        dlg.End();
    }
    // The views are built here so that a scan whose partitions hold nothing also stays here.
    if (KivSucceeded(rc) && m_pRes) rc = m_pRes->BuildScan();
    if (KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        return false;
    }
    return true;
}

LRESULT CWinPanelFileType::OnCommand(int nId, int nCode, HWND hCtl) {
    if (nId == IDC_TYPE_ALL && nCode == BN_CLICKED) {
        m_choice.SetAll(SendMessageW(m_hAll, BM_GETCHECK, 0, 0) == BST_CHECKED);
        Sync();
        return 0;
    }
    return CWinPanel::OnCommand(nId, nCode, hCtl);
}

LRESULT CWinPanelFileType::OnNotify(NMHDR* pHdr) {
    if (pHdr->hwndFrom != m_hTree) return 0;
    if (pHdr->code == NM_CLICK) {
        TVHITTESTINFO hit{};
        GetCursorPos(&hit.pt);
        ScreenToClient(m_hTree, &hit.pt);
        TreeView_HitTest(m_hTree, &hit);
        if (hit.hItem && (hit.flags & TVHT_ONITEMSTATEICON)) Toggle(hit.hItem);
    } else if (pHdr->code == TVN_KEYDOWN && reinterpret_cast<NMTVKEYDOWN*>(pHdr)->wVKey == VK_SPACE) {
        Toggle(TreeView_GetSelection(m_hTree));
        return 1;
    }
    return 0;
}

LRESULT CWinPanelFileType::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_CTLCOLORSTATIC && (reinterpret_cast<HWND>(lParam) == m_hHint || reinterpret_cast<HWND>(lParam) == m_hDevice)) {
        HDC hDC = reinterpret_cast<HDC>(wParam);
        SetBkColor(hDC, CWinSkin::Get().Back());
        SetTextColor(hDC, CWinSkin::Get().Muted());
        return reinterpret_cast<LRESULT>(CWinSkin::Get().BackBrush());
    }
    return CWinPanel::HandleMessage(nMsg, wParam, lParam);
}
