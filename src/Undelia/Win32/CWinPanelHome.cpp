#include "CWinPanelHome.h"

#include "CDataBackstage.h"
#include "CKivSessionDriver.h"
#include "CProgressScan.h"
#include "CWinPanelFileRes.h"
#include "CWinProgressDlg.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivWinIds.h"
#include "KivWinShell.h"

CWinPanelHome::CWinPanelHome() : CWinPanel("PanelHome", 0) {}

void CWinPanelHome::OnCreate() {
    m_hDevs = AddControl(L"BUTTON", CWinSkin::Get().Text("PanelHome", "BtnDevsText"), BS_OWNERDRAW | WS_TABSTOP | BS_NOTIFY,
                         IDC_HOME_DEVS, "PanelHome", "BtnDevs", {32, 108, 436, 150});
    m_hFiles = AddControl(L"BUTTON", CWinSkin::Get().Text("PanelHome", "BtnFilesText"), BS_OWNERDRAW | WS_TABSTOP | BS_NOTIFY,
                          IDC_HOME_FILES, "PanelHome", "BtnFiles", {492, 108, 436, 150});
    m_hPreview = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, IDC_HOME_PREVIEW, "PanelHome", "Preview", {32, 282, 896, 230});
    m_hOpen = AddButton(IDC_HOME_OPENSCAN, "BtnOpenScan", L"Open saved scan…", {32, 536, 190, 36});
    SendMessageW(m_hOpen, BM_SETSTYLE, BS_PUSHBUTTON | BS_NOTIFY, FALSE);
    ShowPreview(-1);
}

void CWinPanelHome::OnEnter() {
    HideBackNext(true, true);
    SetFocus(m_hDevs);
    ShowPreview(0);
}

void CWinPanelHome::ShowPreview(int nWhich) {
    if (nWhich == m_nShown) return;
    m_nShown = nWhich;
    const char* pszText = nWhich == 0 ? "PvTextDev" : nWhich == 1 ? "PvTextFile" : nWhich == 2 ? "PvTextScan" : "PvTextNone";
    SetWindowTextW(m_hPreview, CWinSkin::Get().Text("PanelHome", pszText).c_str());
}

void CWinPanelHome::DrawCard(const DRAWITEMSTRUCT* pDis) {
    const CWinSkin& skin = CWinSkin::Get();
    const char* pszKey = pDis->CtlID == IDC_HOME_DEVS ? "BtnDevs" : "BtnFiles";
    const bool bFocus = pDis->itemState & ODS_FOCUS, bDown = pDis->itemState & ODS_SELECTED;
    HDC hDC = pDis->hDC;
    RECT r = pDis->rcItem;
    HBRUSH hBack = CreateSolidBrush(bDown ? RGB(0xe3, 0xec, 0xf6) : bFocus ? RGB(0xf0, 0xf5, 0xfb) : RGB(0xf6, 0xf7, 0xf9));
    FillRect(hDC, &r, hBack);
    DeleteObject(hBack);
    // The focused card carries the accent frame, thick enough to see.
    HBRUSH hFrame = CreateSolidBrush(bFocus ? skin.Accent() : RGB(0xd0, 0xd5, 0xdb));
    const int nFrame = bFocus ? skin.S(3) : 1;
    for (int i = 0; i < nFrame; ++i) {
        RECT f = r;
        InflateRect(&f, -i, -i);
        FrameRect(hDC, &f, hFrame);
    }
    DeleteObject(hFrame);
    // A drawn disk: a rounded box with a light (one partition: a box split in two).
    const int m = skin.S(18), icon = skin.S(56);
    RECT ir{r.left + m, r.top + m, r.left + m + icon, r.top + m + icon * 3 / 4};
    HBRUSH hIcon = CreateSolidBrush(skin.Accent());
    HGDIOBJ hOldB = SelectObject(hDC, hIcon);
    HGDIOBJ hOldP = SelectObject(hDC, GetStockObject(NULL_PEN));
    if (pDis->CtlID == IDC_HOME_DEVS) {
        RoundRect(hDC, ir.left, ir.top, ir.right, ir.bottom, skin.S(10), skin.S(10));
    } else {
        const int mid = ir.left + icon / 2;
        RoundRect(hDC, ir.left, ir.top, mid - skin.S(2), ir.bottom, skin.S(8), skin.S(8));
        HBRUSH hLight = CreateSolidBrush(RGB(0x9c, 0xbc, 0xdf));
        SelectObject(hDC, hLight);
        RoundRect(hDC, mid + skin.S(2), ir.top, ir.right, ir.bottom, skin.S(8), skin.S(8));
        SelectObject(hDC, hIcon);
        DeleteObject(hLight);
    }
    HBRUSH hDot = CreateSolidBrush(RGB(0xff, 0xff, 0xff));
    SelectObject(hDC, hDot);
    Ellipse(hDC, ir.left + skin.S(8), ir.bottom - skin.S(16), ir.left + skin.S(16), ir.bottom - skin.S(8));
    SelectObject(hDC, hOldB);
    SelectObject(hDC, hOldP);
    DeleteObject(hIcon);
    DeleteObject(hDot);

    SetBkMode(hDC, TRANSPARENT);
    RECT tr{ir.right + skin.S(16), r.top + m, r.right - m, r.top + m + skin.S(28)};
    HGDIOBJ hOldF = SelectObject(hDC, skin.BoldFont());
    SetTextColor(hDC, RGB(0x1b, 0x1f, 0x24));
    std::string key = std::string(pszKey) + "Text";
    DrawTextW(hDC, skin.Text("PanelHome", key.c_str()).c_str(), -1, &tr, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(hDC, skin.Font());
    SetTextColor(hDC, skin.Muted());
    RECT sr{tr.left, tr.bottom + skin.S(4), r.right - m, r.bottom - m};
    key = std::string(pszKey) + "Sub";
    DrawTextW(hDC, skin.Text("PanelHome", key.c_str()).c_str(), -1, &sr, DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(hDC, hOldF);
}

void CWinPanelHome::Choose(int nMode) {
    m_nChosen = nMode;
    RequestNext();
}

bool CWinPanelHome::OnNext() {
    // Enter on "Open saved scan…" opens one instead of choosing a card.
    const int nChosen = m_nChosen;
    m_nChosen = -1;
    if (nChosen < 0 && GetFocus() == m_hOpen) {
        OnCommand(IDC_HOME_OPENSCAN, BN_CLICKED, m_hOpen);
        return false;
    }
    int nMode = nChosen >= 0 ? nChosen : GetFocus() == m_hFiles ? 1 : 0;
    CDataBackstage::Get().SetDevMode(nMode);
    return true;
}

LRESULT CWinPanelHome::OnCommand(int nId, int nCode, HWND hCtl) {
    if (nCode == BN_SETFOCUS) {
        ShowPreview(nId == IDC_HOME_DEVS ? 0 : nId == IDC_HOME_FILES ? 1 : nId == IDC_HOME_OPENSCAN ? 2 : -1);
        return 0;
    }
    if (nCode != BN_CLICKED) return 0;
    switch (nId) {
        case IDC_HOME_DEVS: Choose(0); return 0;
        case IDC_HOME_FILES: Choose(1); return 0;
        case IDC_HOME_OPENSCAN: {
            const CWinSkin& skin = CWinSkin::Get();
            std::wstring file = KivAskOpenFile(m_hMain, skin.Text("PanelHome", "DlgOpenScan", L"Open saved scan"),
                                               skin.Text("PanelHome", "ScanFiles", L"Saved scans (*.und);;All files (*)"));
            if (!file.empty()) OpenScan(file);
            return 0;
        }
        default: return CWinPanel::OnCommand(nId, nCode, hCtl);
    }
}

bool CWinPanelHome::OpenScan(const std::wstring& strFile) {
    CDataBackstage& bs = CDataBackstage::Get();
    bool bComplete = false;
    std::string why;
    // The trees shown belong to the scan about to be replaced: the results panel lets go first.
    KivResult rc = CKivSessionDriver(bs).Open(KivU(strFile), nullptr, &bComplete, &why, [this] {
        if (m_pRes) m_pRes->Forget();
    });
    if (KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::HintArg("PanelHome", "OpenScanFailed", KivW(why)), true);
        return false;
    }
    if (!bComplete) {
        bool bStopped = false;
        std::string strNotKept;
        {
            CWinProgressDlg dlg(CWinProgressDlg::KIND_SCAN, m_hMain, KivW(bs.GetDevTexts()[1]));
            CProgressScan scan(bs, &dlg);
            dlg.Begin();
            rc = scan.DoScan();
            dlg.End();
            bStopped = scan.WasStopped();
            strNotKept = scan.SessionError();
        }
        if (KivSucceeded(rc) && !strNotKept.empty())
            CWinPrompt::Show(m_hMain, CWinSkin::HintArg("PanelHome", "OpenScanNotKept", KivW(strNotKept)), true);
        else if (KivSucceeded(rc) && bStopped)
            CWinPrompt::Show(m_hMain, CWinSkin::HintArg("PanelHome", "OpenScanStopped", strFile));
    }
    if (KivSucceeded(rc) && m_pRes) rc = m_pRes->BuildScan();
    if (KivFailed(rc)) {
        CWinPrompt::Show(m_hMain, CWinSkin::ErrorText(rc), true);
        return false;
    }
    if (m_pRes) m_pRes->ShowSelf();
    return true;
}

LRESULT CWinPanelHome::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    switch (nMsg) {
        case WM_DRAWITEM:
            DrawCard(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_SETCURSOR: {
            // The explanation follows the pointer over the cards.
            HWND h = reinterpret_cast<HWND>(wParam);
            if (h == m_hDevs) ShowPreview(0);
            else if (h == m_hFiles) ShowPreview(1);
            else if (h == m_hOpen) ShowPreview(2);
            break;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == m_hPreview) {
                HDC hDC = reinterpret_cast<HDC>(wParam);
                SetBkColor(hDC, CWinSkin::Get().Back());
                SetTextColor(hDC, CWinSkin::Get().Muted());
                return reinterpret_cast<LRESULT>(CWinSkin::Get().BackBrush());
            }
            break;
        default:
            break;
    }
    return CWinPanel::HandleMessage(nMsg, wParam, lParam);
}
