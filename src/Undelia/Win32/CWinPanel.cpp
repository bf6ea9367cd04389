#include "CWinPanel.h"

#include "CWinPanelMgr.h"
#include "CWinSkin.h"
#include "KivWinIds.h"

CWinPanel::CWinPanel(const char* pszSection, int nStep) : m_pszSection(pszSection), m_nStep(nStep) {}

CWinPanel::~CWinPanel() {
    if (m_hWnd) DestroyWindow(m_hWnd);
}

bool CWinPanel::Create(HWND hMain, const RECT& rcArea) {
    CWinSkin::Get().RegisterSkinnedClass(KIV_WC_PANEL, DefWindowProcW);
    m_hMain = hMain;
    m_hWnd = CreateWindowExW(WS_EX_CONTROLPARENT, KIV_WC_PANEL, KivW(m_pszSection).c_str(), WS_CHILD | WS_CLIPCHILDREN,
                             rcArea.left, rcArea.top, rcArea.right - rcArea.left, rcArea.bottom - rcArea.top, hMain,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_hWnd) return false;
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWinPanel::WndProc));
    const CWinSkin& skin = CWinSkin::Get();
    m_hTitle = AddControl(L"STATIC", skin.Text(m_pszSection, "Title"), SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, IDC_TITLE,
                          "Panel", "StTitle", {32, 20, 600, 32});
    OnCreate();
    // Back and Next come last in the Tab order.
    m_hBack = AddControl(L"BUTTON", skin.Text("Panel", "BackText", L"Back"), BS_PUSHBUTTON | WS_TABSTOP, IDC_BACK, "Panel",
                         "BackBtn", {700, 536, 110, 36});
    m_hNext = AddControl(L"BUTTON", skin.Text("Panel", "NextText", L"Next"), BS_PUSHBUTTON | WS_TABSTOP, IDC_NEXT, "Panel",
                         m_pszNextKey, {820, 536, 110, 36});
    if (std::string(m_pszNextKey) != "NextBtn") SetNextEntry(m_pszNextKey);
    Layout(rcArea);
    return true;
}

HWND CWinPanel::AddControl(const wchar_t* pszClass, const std::wstring& strText, DWORD nStyle, int nId,
                           const char* pszSection, const char* pszKey, RECT def, DWORD nExStyle) {
    HWND h = CreateWindowExW(nExStyle, pszClass, strText.c_str(), WS_CHILD | WS_VISIBLE | nStyle, 0, 0, 10, 10, m_hWnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(CWinSkin::Get().Font()), FALSE);
    m_placed.push_back({h, pszSection, pszKey, def});
    return h;
}

HWND CWinPanel::AddButton(int nId, const char* pszKey, const wchar_t* pszDefault, RECT def) {
    std::string key = std::string(pszKey) + "Text";
    return AddControl(L"BUTTON", CWinSkin::Get().Text(m_pszSection, key.c_str(), pszDefault), BS_PUSHBUTTON | WS_TABSTOP,
                      nId, m_pszSection, pszKey, def);
}

void CWinPanel::SetNextEntry(const char* pszKey) {
    m_pszNextKey = pszKey;
    if (!m_hNext) return;
    for (Placed& p : m_placed)
        if (p.hWnd == m_hNext) p.pszKey = pszKey;
    std::string key = std::string(pszKey) + "Text";
    SetWindowTextW(m_hNext, CWinSkin::Get().Text("Panel", key.c_str(), L"Next").c_str());
}

void CWinPanel::HideBackNext(bool bBack, bool bNext) {
    if (bBack) ShowWindow(m_hBack, SW_HIDE);
    if (bNext) ShowWindow(m_hNext, SW_HIDE);
}

void CWinPanel::Layout(const RECT& rcArea) {
    const CWinSkin& skin = CWinSkin::Get();
    SetWindowPos(m_hWnd, nullptr, rcArea.left, rcArea.top, rcArea.right - rcArea.left, rcArea.bottom - rcArea.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Placed& p : m_placed) {
        RECT r = skin.Rect(p.pszSection, p.pszKey, p.def);
        SetWindowPos(p.hWnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(p.hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(p.hWnd == m_hTitle ? skin.TitleFont() : skin.Font()), TRUE);
    }
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CWinPanel::SetCaption(const std::wstring& strText) { SetWindowTextW(m_hTitle, strText.c_str()); }

std::wstring CWinPanel::Caption() const {
    wchar_t buf[512] = L"";
    GetWindowTextW(m_hTitle, buf, 512);
    return buf;
}

void CWinPanel::ShowSelf() {
    if (m_pMgr) m_pMgr->Show(this);
}

void CWinPanel::RequestNext() { PostMessageW(m_hMain, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), 0); }

LRESULT CWinPanel::OnCommand(int nId, int nCode, HWND hCtl) {
    if ((nId == IDC_BACK || nId == IDC_NEXT) && nCode == BN_CLICKED) {
        SendMessageW(m_hMain, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), 0);
        return 0;
    }
    return DefWindowProcW(m_hWnd, WM_COMMAND, MAKEWPARAM(nId, nCode), reinterpret_cast<LPARAM>(hCtl));
}

void CWinPanel::PaintStepBar(HDC hDC) {
    const CWinSkin& skin = CWinSkin::Get();
    std::vector<std::wstring> steps = skin.List("Panel", "Steps");
    if (steps.empty()) return;
    RECT bar = skin.Rect("Panel", "StepBar", {32, 60, 896, 28});
    const int n = static_cast<int>(steps.size());
    const int w = (bar.right - bar.left) / n;
    SetBkMode(hDC, TRANSPARENT);
    for (int i = 0; i < n; ++i) {
        RECT seg{bar.left + i * w, bar.top, bar.left + (i + 1) * w - skin.S(6), bar.bottom};
        // Done and current steps in the accent, the ones ahead in grey.
        COLORREF line = i <= m_nStep ? skin.Accent() : RGB(0xd5, 0xd9, 0xde);
        HBRUSH hLine = CreateSolidBrush(line);
        RECT under{seg.left, seg.bottom - skin.S(3), seg.right, seg.bottom};
        FillRect(hDC, &under, hLine);
        DeleteObject(hLine);
        HGDIOBJ hOld = SelectObject(hDC, i == m_nStep ? skin.BoldFont() : skin.Font());
        SetTextColor(hDC, i == m_nStep ? skin.Accent() : i < m_nStep ? RGB(0x22, 0x22, 0x22) : skin.Muted());
        std::wstring t = std::to_wstring(i + 1) + L"  " + steps[static_cast<size_t>(i)];
        RECT tr{seg.left, seg.top, seg.right, seg.bottom - skin.S(5)};
        DrawTextW(hDC, t.c_str(), -1, &tr, DT_LEFT | DT_BOTTOM | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        SelectObject(hDC, hOld);
    }
}

LRESULT CWinPanel::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    const CWinSkin& skin = CWinSkin::Get();
    switch (nMsg) {
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC hDC = BeginPaint(m_hWnd, &ps);
            PaintStepBar(hDC);
            EndPaint(m_hWnd, &ps);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HDC hDC = reinterpret_cast<HDC>(wParam);
            HWND hCtl = reinterpret_cast<HWND>(lParam);
            SetBkColor(hDC, skin.Back());
            SetTextColor(hDC, hCtl == m_hTitle ? RGB(0x1b, 0x1f, 0x24) : RGB(0x22, 0x22, 0x22));
            return reinterpret_cast<LRESULT>(skin.BackBrush());
        }
        default:
            return DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
    }
}

LRESULT CALLBACK CWinPanel::WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* p = reinterpret_cast<CWinPanel*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!p || p->m_hWnd != hWnd) return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    return p->HandleMessage(nMsg, wParam, lParam);
}
