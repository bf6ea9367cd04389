#include "CWinProgressDlg.h"

#include <commctrl.h>

#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivWinIds.h"

namespace {

int Bar(uint64_t n, uint64_t nTotal) { return nTotal ? static_cast<int>(n * 1000 / nTotal) : 0; }

}  // namespace

CWinProgressDlg::CWinProgressDlg(Kind nKind, HWND hOwner, const std::wstring& strWhat)
    : m_nKind(nKind), m_hOwner(hOwner), m_strWhat(strWhat) {
    m_pszSection = nKind == KIND_SCAN ? "ScanProgressDlg" : nKind == KIND_BUILD ? "DlgProgressEnum" : "RecoverProgressDlg";
}

CWinProgressDlg::~CWinProgressDlg() { End(); }

void CWinProgressDlg::Begin() {
    if (m_hWnd) return;
    CWinSkin::Get().RegisterSkinnedClass(KIV_WC_PROGRESS, &CWinProgressDlg::WndProc);
    const CWinSkin& skin = CWinSkin::Get();
    m_bStop = false;
    SIZE size = skin.Size(m_pszSection, "Size", {480, 230});
    RECT owner{};
    GetWindowRect(m_hOwner, &owner);
    RECT frame{0, 0, size.cx, size.cy};
    AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const int x = owner.left + (owner.right - owner.left - w) / 2, y = owner.top + (owner.bottom - owner.top - h) / 2;
    m_hWnd = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, KIV_WC_PROGRESS,
                             skin.Text(m_pszSection, "Title", L"Undelia").c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y,
                             w, h, m_hOwner, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    auto add = [&](const wchar_t* pszClass, const std::wstring& text, DWORD nStyle, int nId) {
        HWND hCtl = CreateWindowExW(0, pszClass, text.c_str(), WS_CHILD | WS_VISIBLE | nStyle, 0, 0, 10, 10, m_hWnd,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), GetModuleHandleW(nullptr), nullptr);
        SendMessageW(hCtl, WM_SETFONT, reinterpret_cast<WPARAM>(skin.Font()), FALSE);
        return hCtl;
    };
    std::wstring what = m_strWhat;
    if (m_nKind == KIND_SCAN) what = CWinSkin::Fill(skin.Text(m_pszSection, "TxtScanning", L"Scanning %s"), {m_strWhat});
    if (m_nKind == KIND_BUILD) what = skin.Text(m_pszSection, "TxtBuilding", L"Reading the folders and files that were found…");
    add(L"STATIC", what, SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, IDC_PRG_WHAT);
    add(L"STATIC", m_nKind == KIND_RECOVER ? skin.Text(m_pszSection, "TxtFiles", L"Files") : L"", SS_LEFT | SS_NOPREFIX,
        IDC_PRG_LINE1);
    HWND hBar = add(PROGRESS_CLASSW, L"", 0, IDC_PRG_BAR);
    SendMessageW(hBar, PBM_SETRANGE32, 0, 1000);
    add(L"STATIC", m_nKind == KIND_RECOVER ? skin.Text(m_pszSection, "TxtBytes", L"Data") : L"", SS_LEFT | SS_NOPREFIX,
        IDC_PRG_LINE2);
    if (m_nKind == KIND_RECOVER) {
        HWND hBar2 = add(PROGRESS_CLASSW, L"", 0, IDC_PRG_BAR2);
        SendMessageW(hBar2, PBM_SETRANGE32, 0, 1000);
    }
    add(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, IDC_PRG_LINE3);
    HWND hStop = add(L"BUTTON", skin.Text(m_pszSection, "BtnStop", L"Stop"), BS_PUSHBUTTON | WS_TABSTOP, IDC_PRG_STOP);
    if (m_nKind == KIND_SCAN) Set(IDC_PRG_LINE1, CWinSkin::Hint("DlgProgScan", "TxtFound") + L" 0");
    Layout();
    EnableWindow(m_hOwner, FALSE);
    ShowWindow(m_hWnd, SW_SHOW);
    UpdateWindow(m_hWnd);
    SetFocus(hStop);
}

void CWinProgressDlg::Layout() {
    const CWinSkin& skin = CWinSkin::Get();
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    const int m = skin.S(20), line = skin.S(20), w = rc.right - 2 * m;
    int y = skin.S(18);
    auto put = [&](int nId, int h) {
        if (HWND hCtl = GetDlgItem(m_hWnd, nId)) SetWindowPos(hCtl, nullptr, m, y, w, h, SWP_NOZORDER);
        y += h + skin.S(6);
    };
    put(IDC_PRG_WHAT, line);
    if (m_nKind == KIND_RECOVER) {
        put(IDC_PRG_LINE1, line);
        put(IDC_PRG_BAR, skin.S(18));
        put(IDC_PRG_LINE2, line);
        put(IDC_PRG_BAR2, skin.S(18));
        put(IDC_PRG_LINE3, line);
    } else {
        put(IDC_PRG_BAR, skin.S(18));
        put(IDC_PRG_LINE1, line);
        put(IDC_PRG_LINE2, line);
        put(IDC_PRG_LINE3, line);
    }
    const int bw = skin.S(100), bh = skin.S(30);
    SetWindowPos(GetDlgItem(m_hWnd, IDC_PRG_STOP), nullptr, rc.right - m - bw, rc.bottom - skin.S(14) - bh, bw, bh, SWP_NOZORDER);
}

void CWinProgressDlg::End() {
    if (!m_hWnd) return;
    EnableWindow(m_hOwner, TRUE);
    HWND h = m_hWnd;
    m_hWnd = nullptr;
    // What the workers posted and the window no longer shows.
    MSG msg;
    while (PeekMessageW(&msg, h, KIV_WM_RUN, KIV_WM_RUN, PM_REMOVE)) delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    DestroyWindow(h);
    SetActiveWindow(m_hOwner);
}

void CWinProgressDlg::Post(std::function<void()> fn) {
    HWND h = m_hWnd;
    if (!h) return;
    auto* p = new std::function<void()>(std::move(fn));
    if (!PostMessageW(h, KIV_WM_RUN, 0, reinterpret_cast<LPARAM>(p))) delete p;
}

void CWinProgressDlg::Set(int nId, const std::wstring& strText) {
    if (m_hWnd) SetDlgItemTextW(m_hWnd, nId, strText.c_str());
}

void CWinProgressDlg::OnScanProgress(const KivScanProgress& p) {
    Post([this, p] {
        SendDlgItemMessageW(m_hWnd, IDC_PRG_BAR, PBM_SETPOS, static_cast<WPARAM>(Bar(p.nPos, p.nRange)), 0);
        Set(IDC_PRG_LINE1, KivW(p.strFound));
        // Once the user stopped, the times mean nothing any more: they stay as they were.
        if (p.bTimesKnown) {
            Set(IDC_PRG_LINE2, KivW(p.strElapsed));
            Set(IDC_PRG_LINE3, KivW(p.strRemaining));
        }
    });
}

void CWinProgressDlg::OnBuildPhase(const std::string& strText, uint64_t nTotal) {
    Post([this, strText] {
        Set(IDC_PRG_LINE1, KivW(strText));
        SendDlgItemMessageW(m_hWnd, IDC_PRG_BAR, PBM_SETPOS, 0, 0);
    });
}

void CWinProgressDlg::OnBuildProgress(uint64_t nValue, uint64_t nTotal) {
    Post([this, nValue, nTotal] { SendDlgItemMessageW(m_hWnd, IDC_PRG_BAR, PBM_SETPOS, static_cast<WPARAM>(Bar(nValue, nTotal)), 0); });
}

void CWinProgressDlg::OnViewsStart() {
    Post([this] {
        Set(IDC_PRG_WHAT, CWinSkin::Get().Text(m_pszSection, "TxtViews", L"Sorting the files into folders and types…"));
        Set(IDC_PRG_LINE1, L"");
    });
}

void CWinProgressDlg::OnRecoverProgress(const KivRecoverProgress& p) {
    Post([this, p] {
        Set(IDC_PRG_WHAT, KivW(p.strFile));
        SendDlgItemMessageW(m_hWnd, IDC_PRG_BAR, PBM_SETPOS, p.nFileBar, 0);
        SendDlgItemMessageW(m_hWnd, IDC_PRG_BAR2, PBM_SETPOS, p.nByteBar, 0);
        Set(IDC_PRG_LINE3, KivW(p.strBytes));
        // The last file is being finished: a stop would change nothing.
        EnableWindow(GetDlgItem(m_hWnd, IDC_PRG_STOP), p.nFileBar < 1000 && !m_bStop);
    });
}

void CWinProgressDlg::OnRecoverDamaged(const std::string& strPath, const std::string& strReason) {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_damaged.push_back(strPath + (strReason.empty() ? "" : ": " + strReason));
}

void CWinProgressDlg::OnRecoverFailed(const std::string& strPath, const std::string& strReason) {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_failed.push_back(strPath + (strReason.empty() ? "" : ": " + strReason));
}

std::vector<std::string> CWinProgressDlg::Damaged() const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_damaged;
}

std::vector<std::string> CWinProgressDlg::Failed() const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_failed;
}

void CWinProgressDlg::OnStop() {
    if (!m_hWnd || m_bStop || m_bAsking) return;
    m_bAsking = true;
    bool bYes = CWinPrompt::Ask(m_hWnd, CWinSkin::Hint("DlgProgScan", "TxtCancel"));
    m_bAsking = false;
    // The work may have ended while the question was open.
    if (bYes && m_hWnd) {
        m_bStop = true;
        EnableWindow(GetDlgItem(m_hWnd, IDC_PRG_STOP), FALSE);
    }
}

LRESULT CALLBACK CWinProgressDlg::WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* p = reinterpret_cast<CWinProgressDlg*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    switch (nMsg) {
        case KIV_WM_RUN: {
            auto* pFn = reinterpret_cast<std::function<void()>*>(lParam);
            if (p && p->m_hWnd == hWnd) (*pFn)();
            delete pFn;
            return 0;
        }
        case WM_COMMAND:
            if (p && (LOWORD(wParam) == IDC_PRG_STOP || LOWORD(wParam) == IDCANCEL)) p->OnStop();
            return 0;
        case WM_CLOSE:
            if (p) p->OnStop();
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            SetBkColor(reinterpret_cast<HDC>(wParam), CWinSkin::Get().Back());
            return reinterpret_cast<LRESULT>(CWinSkin::Get().BackBrush());
        default:
            return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    }
}
