#include "CWinModal.h"

#include <algorithm>

#include "CWinSkin.h"
#include "CWinUndeliaApp.h"
#include "KivWinIds.h"

bool CWinModal::Run(const std::wstring& strTitle, SIZE client, bool bResizable) {
    const CWinSkin& skin = CWinSkin::Get();
    skin.RegisterSkinnedClass(KIV_WC_MODAL, &CWinModal::WndProc);
    const DWORD nStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | (bResizable ? WS_THICKFRAME | WS_MAXIMIZEBOX : 0);
    RECT frame{0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&frame, nStyle, FALSE, WS_EX_DLGMODALFRAME);
    const int fw = frame.right - frame.left, fh = frame.bottom - frame.top;
    // Centred on the owner, kept on its monitor's work area.
    RECT owner;
    GetWindowRect(m_hOwner, &owner);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(m_hOwner, MONITOR_DEFAULTTONEAREST), &mi);
    int x = owner.left + (owner.right - owner.left - fw) / 2, y = owner.top + (owner.bottom - owner.top - fh) / 2;
    x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - fw));
    y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - fh));
    m_hWnd = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, KIV_WC_MODAL, strTitle.c_str(), nStyle, x, y, fw, fh,
                             m_hOwner, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    OnInit();
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    OnSize(rc.right, rc.bottom);
    EnableWindow(m_hOwner, FALSE);
    ShowWindow(m_hWnd, SW_SHOW);
    MSG msg;
    while (!m_bDone && GetMessageW(&msg, nullptr, 0, 0) > 0) CWinUndeliaApp::Dispatch(msg);
    if (!m_bDone) PostQuitMessage(static_cast<int>(msg.wParam));
    EnableWindow(m_hOwner, TRUE);
    SetActiveWindow(m_hOwner);
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return m_bResult;
}

void CWinModal::End(bool bResult) {
    m_bResult = bResult;
    m_bDone = true;
}

int CWinModal::S(int n) const { return CWinSkin::Get().S(n); }

HWND CWinModal::Add(const wchar_t* pszClass, const std::wstring& strText, DWORD nStyle, int nId, int x, int y, int w, int h,
                    DWORD nExStyle) {
    HWND hCtl = CreateWindowExW(nExStyle, pszClass, strText.c_str(), WS_CHILD | WS_VISIBLE | nStyle, x, y, w, h, m_hWnd,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(hCtl, WM_SETFONT, reinterpret_cast<WPARAM>(CWinSkin::Get().Font()), FALSE);
    return hCtl;
}

void CWinModal::OnCommand(int nId, int) {
    if (nId == IDCANCEL) End(false);
}

LRESULT CWinModal::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_CTLCOLORSTATIC) {
        SetBkColor(reinterpret_cast<HDC>(wParam), CWinSkin::Get().Back());
        return reinterpret_cast<LRESULT>(CWinSkin::Get().BackBrush());
    }
    return DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
}

LRESULT CALLBACK CWinModal::WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* p = reinterpret_cast<CWinModal*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!p) return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    switch (nMsg) {
        case WM_COMMAND:
            p->OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            p->End(false);
            return 0;
        case WM_SIZE:
            p->OnSize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        default:
            return p->OnMessage(nMsg, wParam, lParam);
    }
}
