#include "CWinMainWnd.h"

#include "CDataBackstage.h"

#include <algorithm>

#include "CKivResultController.h"
#include "CWinPanelEnumDev.h"
#include "CWinPanelFileRes.h"
#include "CWinPanelFileType.h"
#include "CWinPanelFinal.h"
#include "CWinPanelHome.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivFunction.h"
#include "KivVersion.h"
#include "KivWinIds.h"
#include "KivWinShell.h"
#include "platform/KivPlatform.h"

namespace {

// The skin's icon ("App"/"icon") is a file beside the program; only icon files load here.
HICON LoadProgramIcon(int nSize) {
    std::wstring name = CWinSkin::Get().Text("App", "icon");
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name = name.substr(slash + 1);
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".ico") == 0) {
        std::wstring path = KivW(KivGetExeDir()) + L"\\" + name;
        if (HICON h = static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, nSize, nSize, LR_LOADFROMFILE)))
            return h;
    }
    // The built-in icon: a disk in the skin's accent, drawn for the size asked.
    HDC hScreen = GetDC(nullptr);
    HDC hDC = CreateCompatibleDC(hScreen);
    HBITMAP hColor = CreateCompatibleBitmap(hScreen, nSize, nSize);
    HBITMAP hMask = CreateBitmap(nSize, nSize, 1, 1, nullptr);
    HGDIOBJ hOld = SelectObject(hDC, hMask);
    PatBlt(hDC, 0, 0, nSize, nSize, WHITENESS);
    SelectObject(hDC, GetStockObject(BLACK_BRUSH));
    SelectObject(hDC, GetStockObject(BLACK_PEN));
    RoundRect(hDC, 0, 0, nSize, nSize, nSize / 3, nSize / 3);
    SelectObject(hDC, hColor);
    PatBlt(hDC, 0, 0, nSize, nSize, BLACKNESS);
    HBRUSH hAccent = CreateSolidBrush(CWinSkin::Get().Accent());
    HPEN hNone = static_cast<HPEN>(GetStockObject(NULL_PEN));
    SelectObject(hDC, hAccent);
    SelectObject(hDC, hNone);
    RoundRect(hDC, 0, 0, nSize + 1, nSize + 1, nSize / 3, nSize / 3);
    HPEN hWhite = CreatePen(PS_SOLID, std::max(1, nSize / 12), RGB(0xff, 0xff, 0xff));
    SelectObject(hDC, hWhite);
    SelectObject(hDC, GetStockObject(NULL_BRUSH));
    const int m = nSize / 5;
    Ellipse(hDC, m, m, nSize - m, nSize - m);
    SelectObject(hDC, GetStockObject(WHITE_BRUSH));
    const int c = nSize / 2, r = std::max(1, nSize / 12);
    Ellipse(hDC, c - r, c - r, c + r + 1, c + r + 1);
    SelectObject(hDC, hOld);
    DeleteObject(hWhite);
    DeleteObject(hAccent);
    DeleteDC(hDC);
    ReleaseDC(nullptr, hScreen);
    ICONINFO ii{TRUE, 0, 0, hMask, hColor};
    HICON hIcon = CreateIconIndirect(&ii);
    DeleteObject(hColor);
    DeleteObject(hMask);
    return hIcon ? hIcon : LoadIconW(nullptr, IDI_APPLICATION);
}

}  // namespace

CWinMainWnd::CWinMainWnd() = default;

CWinMainWnd::~CWinMainWnd() {
    // The panels' windows go before the main one.
    m_pHome.reset();
    m_pEnumDev.reset();
    m_pFileType.reset();
    m_pFileRes.reset();
    m_pFinal.reset();
    if (m_hWnd) DestroyWindow(m_hWnd);
    CKivResultController::ClearPreviewFolder();
}

namespace {

// The monitor's scale, made smaller when the skin's window would not fit its work area at it (a
// small screen, a large scale): the whole window is seen, its texts a little smaller.
UINT FitDpi(UINT nDpi, HMONITOR hMon) {
    CWinSkin& skin = CWinSkin::Get();
    skin.SetDpi(nDpi);
    SIZE size = skin.WindowSize();
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoW(hMon, &mi) || size.cx <= 0 || size.cy <= 0) return nDpi;
    const int nW = mi.rcWork.right - mi.rcWork.left, nH = mi.rcWork.bottom - mi.rcWork.top;
    if (size.cx <= nW && size.cy <= nH) return nDpi;
    const UINT nFit = static_cast<UINT>(std::min(MulDiv(static_cast<int>(nDpi), nW, size.cx), MulDiv(static_cast<int>(nDpi), nH, size.cy)));
    return std::max<UINT>(nFit, 48);
}

}  // namespace

bool CWinMainWnd::Create(int nShow, const std::vector<std::wstring>& images, const std::string& strScanDevice) {
    CWinSkin& skin = CWinSkin::Get();
    if (!skin.IsLoaded()) CWinPrompt::Show(nullptr, L"Fail to Load  config file.", true);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &CWinMainWnd::WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = skin.BackBrush();
    wc.lpszClassName = KIV_WC_MAIN;
    m_hIconBig = LoadProgramIcon(32);
    m_hIconSmall = LoadProgramIcon(16);
    wc.hIcon = m_hIconBig;
    wc.hIconSm = m_hIconSmall;
    RegisterClassExW(&wc);

    // The scale of the monitor the window opens on (the primary one).
    POINT pt{0, 0};
    HMONITOR hMon = MonitorFromPoint(pt, MONITOR_DEFAULTTOPRIMARY);
    HDC hScreen = GetDC(nullptr);
    UINT nDpi = static_cast<UINT>(GetDeviceCaps(hScreen, LOGPIXELSX));
    ReleaseDC(nullptr, hScreen);
    skin.SetDpi(FitDpi(nDpi, hMon));
    SIZE size = skin.WindowSize();
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(hMon, &mi);
    const int x = mi.rcWork.left + std::max(0L, (mi.rcWork.right - mi.rcWork.left - size.cx) / 2);
    const int y = mi.rcWork.top + std::max(0L, (mi.rcWork.bottom - mi.rcWork.top - size.cy) / 2);
    m_hWnd = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, KIV_WC_MAIN,
                             skin.Text("UIMain", "ProductName", L"Undelia").c_str(),
                             WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU | WS_BORDER, x, y, size.cx, size.cy,
                             nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!m_hWnd) return false;
    if (UINT n = GetDpiForWindow(m_hWnd); n && n != nDpi) skin.SetDpi(FitDpi(n, hMon));

    m_pMgr = std::make_unique<CWinPanelMgr>(m_hWnd);
    RECT area = skin.PanelArea();
    m_pHome = std::make_unique<CWinPanelHome>();
    m_pEnumDev = std::make_unique<CWinPanelEnumDev>();
    m_pFileType = std::make_unique<CWinPanelFileType>();
    m_pFileRes = std::make_unique<CWinPanelFileRes>();
    m_pFinal = std::make_unique<CWinPanelFinal>();
    m_pFileRes->SetFinal(m_pFinal.get());
    m_pFileRes->SetHome(m_pHome.get());
    if (!images.empty()) m_pEnumDev->PreAddImages(images);
    m_pFileType->SetResults(m_pFileRes.get());
    m_pHome->SetResults(m_pFileRes.get());
    KivResult rc = KIV_OK;
    for (CWinPanel* p : std::initializer_list<CWinPanel*>{m_pHome.get(), m_pEnumDev.get(), m_pFileType.get(), m_pFileRes.get(),
                                                         m_pFinal.get()}) {
        p->SetMgr(m_pMgr.get());
        if (!p->Create(m_hWnd, area)) continue;
        if (KivResult r = m_pMgr->RegisterPanel(p); KivFailed(r) && KivSucceeded(rc)) rc = r;
    }
    if (KivResult r = m_pMgr->SetPanelStep(); KivFailed(r) && KivSucceeded(rc)) rc = r;
    // The caption bar's buttons come last in the Tab order: made after the panels.
    BuildCaptionBar();
    LayoutAll();
    // The focus is drawn from the start, not only once a key was pressed.
    SendMessageW(m_hWnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    ShowWindow(m_hWnd, nShow);
    if (strScanDevice.empty()) {
        m_pMgr->Show(m_pHome.get());
    } else {
        CDataBackstage::Get().SetDevMode(0);
        m_pEnumDev->PickOnEnter(strScanDevice);
        m_pMgr->Show(m_pEnumDev.get());
    }
    UpdateWindow(m_hWnd);
    if (KivFailed(rc)) CWinPrompt::Show(m_hWnd, CWinSkin::ErrorText(rc), true);
    return true;
}

void CWinMainWnd::BuildCaptionBar() {
    const CWinSkin& skin = CWinSkin::Get();
    auto add = [&](int nId, const char* pszTip) {
        HWND h = CreateWindowExW(0, L"BUTTON", skin.Text("MainFrame", pszTip).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                                 0, 0, 10, 10, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)),
                                 GetModuleHandleW(nullptr), nullptr);
        return h;
    };
    m_hOption = add(IDC_CAP_OPTION, "TipBtnOption");
    m_hMin = add(IDC_CAP_MIN, "TipBtnMin");
    m_hClose = add(IDC_CAP_CLOSE, "TipBtnClose");
}

void CWinMainWnd::LayoutAll() {
    const CWinSkin& skin = CWinSkin::Get();
    SIZE size = skin.WindowSize();
    RECT rc;
    GetWindowRect(m_hWnd, &rc);
    SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    struct {
        HWND h;
        const char* key;
        RECT def;
    } btns[] = {{m_hOption, "BtnOption", {772, 8, 40, 32}}, {m_hMin, "BtnMin", {816, 8, 40, 32}}, {m_hClose, "BtnClose", {904, 8, 44, 32}}};
    for (auto& b : btns) {
        RECT r = skin.Rect("MainFrame", b.key, b.def);
        SetWindowPos(b.h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT area = skin.PanelArea();
    for (CWinPanel* p : m_pMgr->Panels()) p->Layout(area);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CWinMainWnd::PaintCaption(HDC hDC) {
    const CWinSkin& skin = CWinSkin::Get();
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    RECT cap{0, 0, rc.right, skin.CaptionHeight()};
    FillRect(hDC, &cap, skin.AccentBrush());
    SetBkMode(hDC, TRANSPARENT);
    RECT icon = skin.Rect("MainFrame", "IconMin", {14, 10, 28, 28});
    DrawIconEx(hDC, icon.left, icon.top, m_hIconBig, icon.right - icon.left, icon.bottom - icon.top, 0, nullptr, DI_NORMAL);
    RECT prod = skin.Rect("MainFrame", "ProductStrPos", {50, 8, 160, 32});
    std::wstring name = skin.Text("UIMain", "ProductName", L"Undelia");
    HGDIOBJ hOld = SelectObject(hDC, skin.TitleFont());
    SetTextColor(hDC, RGB(0xff, 0xff, 0xff));
    RECT measure = prod;
    DrawTextW(hDC, name.c_str(), -1, &measure, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    DrawTextW(hDC, name.c_str(), -1, &prod, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    // The edition follows the product name whatever the font makes of its width.
    SelectObject(hDC, skin.Font());
    SetTextColor(hDC, RGB(0xdc, 0xe7, 0xf3));
    RECT ed{measure.right + skin.S(10), prod.top, measure.right + skin.S(300), prod.bottom};
    DrawTextW(hDC, skin.Text("MainFrame", "EditionText").c_str(), -1, &ed, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(hDC, hOld);
}

void CWinMainWnd::DrawCaptionButton(const DRAWITEMSTRUCT* pDis) {
    const CWinSkin& skin = CWinSkin::Get();
    HDC hDC = pDis->hDC;
    RECT r = pDis->rcItem;
    const bool bDown = pDis->itemState & ODS_SELECTED;
    COLORREF back = skin.Accent();
    if (bDown) back = RGB(GetRValue(back) * 3 / 4, GetGValue(back) * 3 / 4, GetBValue(back) * 3 / 4);
    if (pDis->CtlID == IDC_CAP_CLOSE && bDown) back = RGB(0xc4, 0x2b, 0x1c);
    HBRUSH hBack = CreateSolidBrush(back);
    FillRect(hDC, &r, hBack);
    DeleteObject(hBack);
    HPEN hPen = CreatePen(PS_SOLID, std::max(1, skin.S(2)), RGB(0xff, 0xff, 0xff));
    HGDIOBJ hOld = SelectObject(hDC, hPen);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2, d = skin.S(6);
    switch (pDis->CtlID) {
        case IDC_CAP_OPTION:
            for (int k = -1; k <= 1; ++k) {
                MoveToEx(hDC, cx - d, cy + k * d * 2 / 3, nullptr);
                LineTo(hDC, cx + d + 1, cy + k * d * 2 / 3);
            }
            break;
        case IDC_CAP_MIN:
            MoveToEx(hDC, cx - d, cy + d / 2, nullptr);
            LineTo(hDC, cx + d + 1, cy + d / 2);
            break;
        case IDC_CAP_CLOSE:
            MoveToEx(hDC, cx - d, cy - d, nullptr);
            LineTo(hDC, cx + d + 1, cy + d + 1);
            MoveToEx(hDC, cx + d, cy - d, nullptr);
            LineTo(hDC, cx - d - 1, cy + d + 1);
            break;
        default:
            break;
    }
    SelectObject(hDC, hOld);
    DeleteObject(hPen);
    // The keyboard's place stays visible on the coloured bar.
    if (pDis->itemState & ODS_FOCUS) {
        RECT f = r;
        InflateRect(&f, -skin.S(3), -skin.S(3));
        HBRUSH hFrame = CreateSolidBrush(RGB(0xff, 0xff, 0xff));
        FrameRect(hDC, &f, hFrame);
        DeleteObject(hFrame);
    }
}

void CWinMainWnd::ShowOptions() {
    const CWinSkin& skin = CWinSkin::Get();
    HMENU hMenu = CreatePopupMenu();
    AppendMenuW(hMenu, MF_STRING, IDM_HELP, (skin.Text("Menu", "Help", L"Help") + L"\tF1").c_str());
    AppendMenuW(hMenu, MF_STRING, IDM_FEEDBACK, skin.Text("Menu", "Feedback", L"Feedback").c_str());
    AppendMenuW(hMenu, MF_STRING, IDM_ABOUT, skin.Text("Menu", "About", L"About").c_str());
    RECT r;
    GetWindowRect(m_hOption, &r);
    TrackPopupMenu(hMenu, TPM_RIGHTALIGN | TPM_TOPALIGN, r.right, r.bottom, 0, m_hWnd, nullptr);
    DestroyMenu(hMenu);
}

bool CWinMainWnd::ExitCheck() {
    if (m_bClosing || (m_pMgr && m_pMgr->IsMoving())) return false;
    m_bClosing = true;
    bool bQuit = CWinPrompt::Ask(m_hWnd, CWinSkin::Hint("DlgMsg", "ExitCheck"));
    m_bClosing = false;
    if (bQuit) DestroyWindow(m_hWnd);
    return bQuit;
}

void CWinMainWnd::OnCommand(int nId, int nCode, HWND hCtl) {
    const CWinSkin& skin = CWinSkin::Get();
    switch (nId) {
        case IDC_CAP_OPTION: ShowOptions(); return;
        case IDC_CAP_MIN: ShowWindow(m_hWnd, SW_MINIMIZE); return;
        case IDC_CAP_CLOSE: ExitCheck(); return;
        case IDM_HELP: {
            std::string path;
            if (KivPathBesideExe("help.html", &path)) KivShellOpen(m_hWnd, KivW(path));
            else CWinPrompt::Show(m_hWnd, CWinSkin::ErrorText(KivMakeCode(0, KIV_MOD_UI, KIV_E_NOTFOUND)), true);
            return;
        }
        case IDM_FEEDBACK: {
            CWinPrompt::Show(m_hWnd, skin.Text("DlgFeedback", "Text"));
            std::wstring url = skin.Text("EXE", "FeedbackUrl");
            // An empty address opens nothing: the program contacts nobody by itself.
            if (!url.empty()) KivShellOpen(m_hWnd, url);
            return;
        }
        case IDM_ABOUT:
            CWinPrompt::Show(m_hWnd, skin.Text("UIMain", "ProductName", L"Undelia") + L" " + KivW(UNDELIA_VERSION) + L"\r\n\r\n" +
                                         skin.Text("DlgAbout", "Text"));
            return;
        case IDOK:
        case IDC_NEXT: m_pMgr->GoNext(); return;
        case IDCANCEL:
        case IDC_BACK: m_pMgr->GoBack(); return;
        default:
            // Enter on a panel's own button comes here from the dialog navigation: the panel's.
            if (CWinPanel* p = m_pMgr->Current(); p && nCode == BN_CLICKED)
                SendMessageW(p->Hwnd(), WM_COMMAND, MAKEWPARAM(nId, nCode), reinterpret_cast<LPARAM>(hCtl));
            return;
    }
}

LRESULT CWinMainWnd::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    switch (nMsg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC hDC = BeginPaint(m_hWnd, &ps);
            PaintCaption(hDC);
            EndPaint(m_hWnd, &ps);
            return 0;
        }
        case WM_NCHITTEST: {
            // The caption bar moves the window.
            POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ScreenToClient(m_hWnd, &pt);
            if (pt.y >= 0 && pt.y < CWinSkin::Get().CaptionHeight()) return HTCAPTION;
            return HTCLIENT;
        }
        case WM_DRAWITEM:
            DrawCaptionButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_F1) OnCommand(IDM_HELP, 0, nullptr);
            return 0;
        case WM_DPICHANGED: {
            const RECT* r = reinterpret_cast<const RECT*>(lParam);
            CWinSkin& skin = CWinSkin::Get();
            skin.SetDpi(FitDpi(HIWORD(wParam), MonitorFromRect(r, MONITOR_DEFAULTTONEAREST)));
            const SIZE size = skin.WindowSize();
            SetWindowPos(m_hWnd, nullptr, r->left, r->top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
            LayoutAll();
            return 0;
        }
        case WM_CLOSE:
            ExitCheck();
            return 0;
        case WM_DESTROY:
            m_hWnd = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
    }
}

LRESULT CALLBACK CWinMainWnd::WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_NCCREATE) {
        auto* pCs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* p = static_cast<CWinMainWnd*>(pCs->lpCreateParams);
        p->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(p));
    }
    auto* p = reinterpret_cast<CWinMainWnd*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!p || !p->m_hWnd) return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    return p->HandleMessage(nMsg, wParam, lParam);
}
