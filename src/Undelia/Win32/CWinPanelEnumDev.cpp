#include "CWinPanelEnumDev.h"

#include <commctrl.h>

#include <algorithm>

#include "CDataBackstage.h"
#include "CKivElevation.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "KivWinIds.h"
#include "KivWinShell.h"

namespace {

// Rows of disks that could not be opened carry their index from here on.
constexpr LPARAM kNeedRightsRow = 0x10000;

}  // namespace

CWinPanelEnumDev::CWinPanelEnumDev() : CWinPanel("PanelEnumDev", 1) {}

void CWinPanelEnumDev::OnCreate() {
    const CWinSkin& skin = CWinSkin::Get();
    m_hList = AddControl(WC_LISTVIEWW, L"", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER,
                         IDC_DEV_LIST, "PanelEnumDev", "List", {32, 100, 896, 376});
    ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const char* keys[] = {"ColKind", "ColName", "ColSize", "ColLabel", "ColMount"};
    const wchar_t* defs[] = {L"Kind", L"Name", L"Size", L"Label", L"Mounted at"};
    for (int i = 0; i < 5; ++i) {
        std::wstring t = skin.Text("PanelEnumDev", keys[i], defs[i]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = t.data();
        col.cx = 100;
        ListView_InsertColumn(m_hList, i, &col);
    }
    AddButton(IDC_DEV_ADDIMAGE, "BtnAddImage", L"Add disk image…", {32, 486, 170, 32});
    AddButton(IDC_DEV_REFRESH, "BtnRefresh", L"Refresh", {212, 486, 110, 32});
    m_hInfo = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, IDC_DEV_INFO, "PanelEnumDev", "StInfo", {336, 482, 592, 48});
}

void CWinPanelEnumDev::Layout(const RECT& rcArea) {
    CWinPanel::Layout(rcArea);
    if (!m_hList) return;
    const CWinSkin& skin = CWinSkin::Get();
    RECT r;
    GetClientRect(m_hList, &r);
    // The name takes what the others leave.
    const int w[] = {skin.S(150), 0, skin.S(90), skin.S(110), skin.S(130)};
    int rest = r.right - w[0] - w[2] - w[3] - w[4];
    for (int i = 0; i < 5; ++i) ListView_SetColumnWidth(m_hList, i, i == 1 ? std::max(rest, skin.S(120)) : w[i]);
}

void CWinPanelEnumDev::OnEnter() {
    const CWinSkin& skin = CWinSkin::Get();
    SetCaption(CDataBackstage::Get().GetDevMode() == 0 ? skin.Text("PanelEnumDev", "Title", L"Select disk:")
                                                       : skin.Text("PanelEnumDev", "TitleParts", L"Select partition:"));
    Fill(false);
    SetFocus(m_hList);
}

void CWinPanelEnumDev::Fill(bool bRefresh) {
    const CWinSkin& skin = CWinSkin::Get();
    CDataBackstage& bs = CDataBackstage::Get();
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    IKivEnumDevEx* pEnum = nullptr;
    HCURSOR hOld = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    KivResult rc = bs.GetEnumDevData(&disks, &parts, &pEnum, bRefresh);
    SetCursor(hOld);
    int nKeep = std::max(0, ListView_GetNextItem(m_hList, -1, LVNI_SELECTED));
    ListView_DeleteAllItems(m_hList);
    if (KivFailed(rc)) {
        SetWindowTextW(m_hInfo, CWinSkin::ErrorText(rc).c_str());
        return;
    }
    const bool bDisks = bs.GetDevMode() == 0;
    const size_t n = bDisks ? disks.size() : parts.size();
    for (size_t i = 0; i < n; ++i) {
        // The texts are the core's, the same as the Linux program's.
        std::vector<std::string> texts = bDisks ? KivDiskRowTexts(disks[i]) : KivPartRowTexts(parts[i]);
        std::wstring cells[5];
        for (size_t k = 0; k < 5 && k < texts.size(); ++k) cells[k] = KivW(texts[k]);
        LVITEMW it{};
        it.mask = LVIF_TEXT | LVIF_PARAM;
        it.iItem = static_cast<int>(i);
        it.pszText = cells[0].data();
        it.lParam = static_cast<LPARAM>(i);
        int nRow = ListView_InsertItem(m_hList, &it);
        for (int c = 1; c < 5; ++c) ListView_SetItemText(m_hList, nRow, c, cells[c].data());
    }
    // What could not be listed, and why: usually the rights to read raw disks. A disk that only
    // full rights would open is listed all the same: picking it offers a start with them.
    std::wstring info;
    m_needRights.clear();
    int nPick = -1;
    for (size_t i = 0; i < n && !m_strPick.empty(); ++i)
        if (bDisks && disks[i].pDisk && m_strPick == disks[i].szPath) nPick = static_cast<int>(i);
    if (pEnum) {
        KivDevProblem p{};
        const bool bElevated = KivIsElevated();
        for (uint32_t i = 0; pEnum->GetProblem(i, &p); ++i) {
            if (bDisks && CKivElevation::OffersRelaunch(p, m_imagePaths, bElevated)) {
                std::wstring cells[5] = {skin.Text("PanelEnumDev", "TxtDiskKind", L"Disk"), KivW(p.szDevice), L"", L"",
                                         skin.Text("PanelEnumDev", "TxtNeedsRights", L"needs administrator rights")};
                LVITEMW it{};
                it.mask = LVIF_TEXT | LVIF_PARAM;
                it.iItem = static_cast<int>(n + m_needRights.size());
                it.pszText = cells[0].data();
                it.lParam = kNeedRightsRow + static_cast<LPARAM>(m_needRights.size());
                int nRow = ListView_InsertItem(m_hList, &it);
                for (int c = 1; c < 5; ++c) ListView_SetItemText(m_hList, nRow, c, cells[c].data());
                m_needRights.emplace_back(p.szDevice);
            }
            info += (info.empty() ? L"" : L"\r\n") + KivW(p.szText);
        }
    }
    if (!info.empty()) info += L"\r\n" + skin.Text("PanelEnumDev", "TxtNoAccessWin");
    if (n == 0) info = skin.Text("PanelEnumDev", "TxtNoDevices") + (info.empty() ? L"" : L"\r\n" + info);
    SetWindowTextW(m_hInfo, info.c_str());
    if (nPick >= 0) nKeep = nPick;
    m_strPick.clear();
    if (n) {
        int nRow = std::min(nKeep, static_cast<int>(n) - 1);
        ListView_SetItemState(m_hList, nRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(m_hList, nRow, FALSE);
    }
}

std::wstring CWinPanelEnumDev::CellText(int nRow, int nCol) const {
    wchar_t buf[1024] = L"";
    ListView_GetItemText(m_hList, nRow, nCol, buf, 1024);
    return buf;
}

namespace {

std::string FullPath(const std::wstring& strPath) {
    wchar_t full[MAX_PATH * 4] = L"";
    return GetFullPathNameW(strPath.c_str(), MAX_PATH * 4, full, nullptr) ? KivU(full) : std::string();
}

}  // namespace

void CWinPanelEnumDev::PreAddImages(const std::vector<std::wstring>& paths) {
    for (const std::wstring& p : paths) {
        std::string path = FullPath(p);
        if (!path.empty() && std::find(m_imagePaths.begin(), m_imagePaths.end(), path) == m_imagePaths.end())
            m_imagePaths.push_back(path);
    }
    CDataBackstage::Get().SetImagePaths(m_imagePaths, 0);
}

bool CWinPanelEnumDev::AddImage(const std::wstring& strPath) {
    CDataBackstage& bs = CDataBackstage::Get();
    const std::string path = FullPath(strPath);
    if (path.empty()) return false;
    if (std::find(m_imagePaths.begin(), m_imagePaths.end(), path) == m_imagePaths.end()) m_imagePaths.push_back(path);
    bs.SetImagePaths(m_imagePaths, 0);
    Fill(true);
    int nRow = bs.RowOfImage(path);
    if (nRow < 0) {
        // The enumerator says why (not readable, empty, a folder...).
        m_imagePaths.erase(std::remove(m_imagePaths.begin(), m_imagePaths.end(), path), m_imagePaths.end());
        bs.SetImagePaths(m_imagePaths, 0);
        wchar_t why[2048] = L"";
        GetWindowTextW(m_hInfo, why, 2048);
        Fill(true);
        CWinPrompt::Show(m_hMain, why[0] ? std::wstring(why) : CWinSkin::ErrorText(KivMakeCode(0, KIV_MOD_UI, KIV_E_NOTFOUND)), true);
        return false;
    }
    ListView_SetItemState(m_hList, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(m_hList, nRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(m_hList, nRow, FALSE);
    SetFocus(m_hList);
    return true;
}

bool CWinPanelEnumDev::OnNext() {
    CDataBackstage& bs = CDataBackstage::Get();
    const bool bDisks = bs.GetDevMode() == 0;
    int nRow = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED);
    if (nRow < 0) {
        CWinPrompt::Show(m_hMain, CWinSkin::Hint("PanelEnumDev", bDisks ? "DevicesNextNoSelect" : "FilesNextNoSelect"));
        return false;
    }
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = nRow;
    ListView_GetItem(m_hList, &it);
    if (it.lParam >= kNeedRightsRow) {
        const size_t nNeed = static_cast<size_t>(it.lParam - kNeedRightsRow);
        if (nNeed >= m_needRights.size()) return false;
        const std::string& dev = m_needRights[nNeed];
        // A new start with full rights for this disk; this copy ends so that the new one may run.
        if (!CWinPrompt::Ask(m_hMain, CWinSkin::HintArg("PanelEnumDev", "AskRelaunch", KivW(dev)))) return false;
        if (!KivRelaunchElevated(m_hMain, CKivElevation::RelaunchArgs(dev))) {
            CWinPrompt::Show(m_hMain, CWinSkin::Get().Text("PanelEnumDev", "TxtNoAccessWin"), true);
            return false;
        }
        PostQuitMessage(0);
        return false;
    }
    const uint32_t nIndex = static_cast<uint32_t>(it.lParam);
    if (KivResult rc = bs.SetEnumDevResult(nIndex); KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        return false;
    }
    // A whole disk without any partition on it (a wiped card, say) is scanned all the same: the
    // scan takes the disk itself rather than a partition record.
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    bs.GetEnumDevData(&disks, &parts, nullptr, false);
    bs.SetDirectDevice(bDisks && parts.empty() && nIndex < disks.size() ? disks[nIndex].pStor : nullptr);
    // Kind, name, size, and the label or mount point as the fourth.
    std::wstring label = CellText(nRow, 3);
    bs.SetDevTexts({KivU(CellText(nRow, 0)), KivU(CellText(nRow, 1)), KivU(CellText(nRow, 2)),
                    KivU(label.empty() ? CellText(nRow, 4) : label)});
    return true;
}

LRESULT CWinPanelEnumDev::OnCommand(int nId, int nCode, HWND hCtl) {
    if (nCode == BN_CLICKED && nId == IDC_DEV_ADDIMAGE) {
        const CWinSkin& skin = CWinSkin::Get();
        std::wstring path = KivAskOpenFile(m_hMain, skin.Text("PanelEnumDev", "ImageDialogTitle", L"Add disk image"),
                                           skin.Text("PanelEnumDev", "ImageFilter", L"All files (*)"));
        if (!path.empty()) AddImage(path);
        return 0;
    }
    if (nCode == BN_CLICKED && nId == IDC_DEV_REFRESH) {
        Fill(true);
        return 0;
    }
    return CWinPanel::OnCommand(nId, nCode, hCtl);
}

LRESULT CWinPanelEnumDev::OnNotify(NMHDR* pHdr) {
    // A double-click on a row is the Next button.
    if (pHdr->hwndFrom == m_hList && pHdr->code == NM_DBLCLK && reinterpret_cast<NMITEMACTIVATE*>(pHdr)->iItem >= 0) RequestNext();
    return 0;
}

LRESULT CWinPanelEnumDev::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == m_hInfo) {
        HDC hDC = reinterpret_cast<HDC>(wParam);
        SetBkColor(hDC, CWinSkin::Get().Back());
        SetTextColor(hDC, CWinSkin::Get().Muted());
        return reinterpret_cast<LRESULT>(CWinSkin::Get().BackBrush());
    }
    return CWinPanel::HandleMessage(nMsg, wParam, lParam);
}
