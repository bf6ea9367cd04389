#include "CWinPreviewDlg.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <fstream>

#include "CKivPreviewText.h"
#include "CWinSkin.h"
#include "KivWinIds.h"
#include "KivWinShell.h"

namespace {

// The start of the file, at most n bytes.
std::string ReadStart(const std::wstring& strPath, size_t n) {
    std::string out;
    HANDLE h = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    out.resize(n);
    DWORD nGot = 0;
    size_t nHave = 0;
    while (nHave < n && ReadFile(h, out.data() + nHave, static_cast<DWORD>(std::min<size_t>(n - nHave, 1 << 20)), &nGot, nullptr) && nGot)
        nHave += nGot;
    out.resize(nHave);
    CloseHandle(h);
    return out;
}

uint64_t FileSize(const std::wstring& strPath) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    if (!GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &a)) return 0;
    return (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// The edit control breaks lines at "\r\n" only.
std::wstring EditText(const std::wstring& s) {
    std::wstring out;
    out.reserve(s.size() + s.size() / 32);
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'\n' && (i == 0 || s[i - 1] != L'\r')) out += L'\r';
        out += s[i];
    }
    return out;
}

}  // namespace

CWinPreviewDlg::CWinPreviewDlg(const std::wstring& strPath, const std::wstring& strName, HWND hOwner)
    : CWinModal(hOwner), m_strPath(strPath), m_strName(strName) {}

CWinPreviewDlg::~CWinPreviewDlg() {
    m_pImage.reset();
    if (m_hMono) DeleteObject(m_hMono);
}

void CWinPreviewDlg::Run() {
    const CWinSkin& skin = CWinSkin::Get();
    SIZE size = skin.Size("DlgShowStateInfo", "Size", {760, 560});
    // Never larger than the screen it opens on (a small screen, a large scale).
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(m_hOwner, MONITOR_DEFAULTTONEAREST), &mi);
    size.cx = std::min<LONG>(size.cx, mi.rcWork.right - mi.rcWork.left - S(40));
    size.cy = std::min<LONG>(size.cy, mi.rcWork.bottom - mi.rcWork.top - S(60));
    CWinModal::Run(skin.Text("DlgShowStateInfo", "Title", L"Preview") + L" \u2014 " + m_strName, size, true);
}

void CWinPreviewDlg::OnInit() {
    const CWinSkin& skin = CWinSkin::Get();
    auto pImage = std::make_unique<Gdiplus::Bitmap>(m_strPath.c_str());
    std::wstring note;
    if (pImage->GetLastStatus() == Gdiplus::Ok && pImage->GetWidth() > 0 && pImage->GetHeight() > 0) {
        m_kind = KIND_IMAGE;
        note = std::to_wstring(pImage->GetWidth()) + L" \u00d7 " + std::to_wstring(pImage->GetHeight());
        m_pImage = std::move(pImage);
    } else {
        pImage.reset();
        std::string head = ReadStart(m_strPath, CKivPreviewText::kHexBytes);
        m_kind = CKivPreviewText::LooksLikeText(head) ? KIND_TEXT : KIND_HEX;
        std::wstring text;
        if (m_kind == KIND_TEXT) {
            // A look, not an editor: the start of a long text is enough and stays quick to lay out.
            text = KivW(ReadStart(m_strPath, CKivPreviewText::kTextBytes));
            if (FileSize(m_strPath) > CKivPreviewText::kTextBytes)
                note = CWinSkin::Fill(skin.Text("DlgShowStateInfo", "TxtTextCut", L"First %s shown"),
                                      {std::to_wstring(CKivPreviewText::kTextBytes / 1024) + L" KiB"});
        } else {
            text = KivW(CKivPreviewText::HexDump(head));
            note = CWinSkin::Fill(skin.Text("DlgShowStateInfo", "TxtHex", L"Hexadecimal view (first %s)"),
                                  {std::to_wstring(CKivPreviewText::kHexBytes / 1024) + L" KiB"});
        }
        HWND hText = Add(L"EDIT", L"", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP |
                                           (m_kind == KIND_HEX ? ES_AUTOHSCROLL | WS_HSCROLL : 0),
                         IDC_PVW_TEXT, 0, 0, 10, 10, WS_EX_CLIENTEDGE);
        SendMessageW(hText, EM_SETLIMITTEXT, 0, 0);
        if (m_kind == KIND_HEX) {
            LOGFONTW lf{};
            lf.lfHeight = -S(13);
            lf.lfWeight = FW_NORMAL;
            lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
            lstrcpynW(lf.lfFaceName, L"Consolas", LF_FACESIZE);
            m_hMono = CreateFontIndirectW(&lf);
            SendMessageW(hText, WM_SETFONT, reinterpret_cast<WPARAM>(m_hMono), FALSE);
        }
        SetWindowTextW(hText, EditText(text).c_str());
    }
    Add(L"STATIC", note, SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS, IDC_PVW_NOTE, 0, 0, 10, 10);
    Add(L"BUTTON", skin.Text("DlgShowStateInfo", "BtnOpenExternal", L"Open with the default program"), BS_PUSHBUTTON | WS_TABSTOP,
        IDC_PVW_OPEN, 0, 0, 10, 10);
    HWND hClose = Add(L"BUTTON", skin.Text("DlgShowStateInfo", "BtnClose", L"Close"), BS_DEFPUSHBUTTON | WS_TABSTOP, IDCANCEL, 0, 0, 10, 10);
    SetFocus(m_kind == KIND_IMAGE ? hClose : GetDlgItem(m_hWnd, IDC_PVW_TEXT));
}

RECT CWinPreviewDlg::PictureRect() const {
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    const int m = S(14), bh = S(30);
    return {m, m, std::max<LONG>(m, rc.right - m), std::max<LONG>(m, rc.bottom - 2 * m - bh)};
}

void CWinPreviewDlg::OnSize(int nWidth, int nHeight) {
    const int m = S(14), bh = S(30), openW = S(250), closeW = S(110);
    RECT pic = PictureRect();
    if (HWND h = GetDlgItem(m_hWnd, IDC_PVW_TEXT)) MoveWindow(h, pic.left, pic.top, pic.right - pic.left, pic.bottom - pic.top, TRUE);
    const int by = nHeight - m - bh;
    MoveWindow(GetDlgItem(m_hWnd, IDCANCEL), nWidth - m - closeW, by, closeW, bh, TRUE);
    MoveWindow(GetDlgItem(m_hWnd, IDC_PVW_OPEN), nWidth - m - closeW - S(10) - openW, by, openW, bh, TRUE);
    MoveWindow(GetDlgItem(m_hWnd, IDC_PVW_NOTE), m, by, std::max(0, nWidth - 3 * m - closeW - S(10) - openW), bh, TRUE);
    if (m_pImage) InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CWinPreviewDlg::Paint(HDC hDC) {
    if (!m_pImage) return;
    RECT pic = PictureRect();
    const double w = m_pImage->GetWidth(), h = m_pImage->GetHeight();
    const double roomW = pic.right - pic.left, roomH = pic.bottom - pic.top;
    // A picture larger than the window is shown whole, scaled down; a small one as it is.
    const double k = std::min({1.0, roomW / w, roomH / h});
    const int dw = std::max(1, static_cast<int>(w * k)), dh = std::max(1, static_cast<int>(h * k));
    const int x = pic.left + (static_cast<int>(roomW) - dw) / 2, y = pic.top + (static_cast<int>(roomH) - dh) / 2;
    Gdiplus::Graphics g(hDC);
    g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.DrawImage(m_pImage.get(), x, y, dw, dh);
}

void CWinPreviewDlg::OnCommand(int nId, int nCode) {
    if (nId == IDC_PVW_OPEN && nCode == BN_CLICKED) {
        KivShellOpen(m_hWnd, m_strPath);
        return;
    }
    CWinModal::OnCommand(nId, nCode);
}

LRESULT CWinPreviewDlg::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC hDC = BeginPaint(m_hWnd, &ps);
        Paint(hDC);
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    if (nMsg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == GetDlgItem(m_hWnd, IDC_PVW_NOTE))
        SetTextColor(reinterpret_cast<HDC>(wParam), CWinSkin::Get().Muted());
    if (nMsg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == GetDlgItem(m_hWnd, IDC_PVW_TEXT)) {
        // The read-only text on white, as a document.
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0xff, 0xff, 0xff));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    }
    if (nMsg == WM_GETMINMAXINFO) {
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {S(480), S(300)};
        return 0;
    }
    return CWinModal::OnMessage(nMsg, wParam, lParam);
}
