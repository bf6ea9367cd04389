#include "CWinSelectDirDlg.h"

#include "CDataBackstage.h"
#include "CKivResultController.h"
#include "CKivUserPrefs.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "CWinUndeliaApp.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "KivWinIds.h"
#include "KivWinShell.h"

bool CWinSelectDirDlg::Run() {
    const CWinSkin& skin = CWinSkin::Get();
    skin.RegisterSkinnedClass(KIV_WC_SELECTDIR, &CWinSelectDirDlg::WndProc);
    const int w = skin.S(600), h = skin.S(250);
    RECT frame{0, 0, w, h};
    AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
    RECT owner;
    GetWindowRect(m_hOwner, &owner);
    const int fw = frame.right - frame.left, fh = frame.bottom - frame.top;
    m_hWnd = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, KIV_WC_SELECTDIR,
                             skin.Text("DlgSelectDir", "Title", L"Choose where to save the files").c_str(),
                             WS_POPUP | WS_CAPTION | WS_SYSMENU, owner.left + (owner.right - owner.left - fw) / 2,
                             owner.top + (owner.bottom - owner.top - fh) / 2, fw, fh, m_hOwner, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    const int m = skin.S(20), line = skin.S(22);
    auto add = [&](const wchar_t* pszClass, const std::wstring& text, DWORD nStyle, int nId, int x, int y, int cw, int ch,
                   DWORD nEx = 0) {
        HWND hCtl = CreateWindowExW(nEx, pszClass, text.c_str(), WS_CHILD | WS_VISIBLE | nStyle, x, y, cw, ch, m_hWnd,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), GetModuleHandleW(nullptr), nullptr);
        SendMessageW(hCtl, WM_SETFONT, reinterpret_cast<WPARAM>(skin.Font()), FALSE);
        return hCtl;
    };
    add(L"STATIC", CWinSkin::Fill(skin.Text("DlgSelectDir", "TxtSelected", L"Selected: %s"), {KivW(KivSizeTextIec(m_nBytes))}),
        SS_LEFT | SS_NOPREFIX, IDC_DST_SELECTED, m, m, w - 2 * m, line);
    add(L"STATIC", skin.Text("DlgSelectDir", "TxtPath", L"Folder:"), SS_LEFT | SS_NOPREFIX, IDC_DST_PATHLABEL, m,
        m + skin.S(40), w - 2 * m, line);
    const int bw = skin.S(110), bh = skin.S(30);
    HWND hPath = add(L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, IDC_DST_PATH, m, m + skin.S(64), w - 3 * m - bw + skin.S(10),
                     bh, WS_EX_CLIENTEDGE);
    add(L"BUTTON", skin.Text("DlgSelectDir", "BtnBrowse", L"Browse…"), BS_PUSHBUTTON | WS_TABSTOP, IDC_DST_BROWSE,
        w - m - bw, m + skin.S(64), bw, bh);
    add(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, IDC_DST_FREE, m, m + skin.S(104), w - 2 * m, line);
    add(L"BUTTON", skin.Text("DlgSelectDir", "Ok", L"Save here"), BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, w - 2 * bw - m - skin.S(10),
        h - m - bh, bw, bh);
    add(L"BUTTON", skin.Text("DlgSelectDir", "Cancel", L"Cancel"), BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, w - bw - m, h - m - bh,
        bw, bh);
    std::wstring start = KivW(CKivResultController::StartFolder(CKivUserPrefs::kLastDestination));
    SetWindowTextW(hPath, (start.empty() ? KivUserFolder() : start).c_str());
    UpdateFree();
    EnableWindow(m_hOwner, FALSE);
    ShowWindow(m_hWnd, SW_SHOW);
    SetFocus(hPath);
    SendMessageW(hPath, EM_SETSEL, 0, -1);
    MSG msg;
    while (!m_bDone && GetMessageW(&msg, nullptr, 0, 0) > 0) CWinUndeliaApp::Dispatch(msg);
    if (!m_bDone) PostQuitMessage(static_cast<int>(msg.wParam));
    EnableWindow(m_hOwner, TRUE);
    SetActiveWindow(m_hOwner);
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return m_bOk;
}

std::wstring CWinSelectDirDlg::PathText() const {
    wchar_t buf[MAX_PATH * 4] = L"";
    GetDlgItemTextW(m_hWnd, IDC_DST_PATH, buf, MAX_PATH * 4);
    std::wstring s = buf;
    size_t a = s.find_first_not_of(L" \t"), b = s.find_last_not_of(L" \t");
    if (a == std::wstring::npos) return std::wstring();
    s = s.substr(a, b - a + 1);
    while (s.size() > 3 && (s.back() == L'\\' || s.back() == L'/')) s.pop_back();
    return s;
}

void CWinSelectDirDlg::UpdateFree() {
    uint64_t nFree = 0;
    std::wstring text;
    if (CKivResultController::FreeSpace(KivU(PathText()), &nFree))
        text = CWinSkin::Fill(CWinSkin::Get().Text("DlgSelectDir", "TxtFree", L"Free on this drive: %s"), {KivW(KivSizeTextIec(nFree))});
    SetDlgItemTextW(m_hWnd, IDC_DST_FREE, text.c_str());
}

void CWinSelectDirDlg::OnBrowse() {
    std::wstring folder = KivAskFolder(m_hWnd, CWinSkin::Get().Text("DlgSelectDir", "Title", L"Choose where to save the files"));
    if (folder.empty()) return;
    SetDlgItemTextW(m_hWnd, IDC_DST_PATH, folder.c_str());
    UpdateFree();
}

void CWinSelectDirDlg::OnOk() {
    CWinPrompt prompt(m_hWnd);
    const std::wstring folder = PathText();
    const DWORD nAttr = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    // A folder typed that is not there yet is offered, not refused.
    const bool bAbsolute = folder.size() > 2 && (folder[1] == L':' || (folder[0] == L'\\' && folder[1] == L'\\'));
    if (bAbsolute && nAttr == INVALID_FILE_ATTRIBUTES) {
        if (!CWinPrompt::Ask(m_hWnd, CWinSkin::HintArg("DlgSelectDir", "CreateFolder", folder))) return;
        std::string why;
        if (KivFailed(CKivResultController::CreateDestination(KivU(folder), CDataBackstage::Get().GetScanMediumPath(), &why))) {
            CWinPrompt::Show(m_hWnd, CWinSkin::HintArg("DlgSelectDir", "CreateFailed", KivW(why)), true);
            return;
        }
        UpdateFree();
    }
    KivResult rc = CKivResultController::CheckDestination(CDataBackstage::Get(), KivU(folder), m_nBytes, &prompt);
    if (KivFailed(rc)) {
        // Not a folder: say so. On the medium being read: the prompt said why. Too little room and
        // the user said no: the question was the message.
        if (KivErrNo(rc) != KIV_E_NOSPACE && KivErrNo(rc) != KIV_E_ONMEDIUM) CWinPrompt::Show(m_hWnd, CWinSkin::ErrorText(rc), true);
        return;
    }
    CKivResultController::RememberFolder(CKivUserPrefs::kLastDestination, KivU(folder), CDataBackstage::Get().GetScanMediumPath());
    m_strFolder = folder;
    m_bOk = true;
    m_bDone = true;
}

LRESULT CALLBACK CWinSelectDirDlg::WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* p = reinterpret_cast<CWinSelectDirDlg*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!p) return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    switch (nMsg) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: p->OnOk(); break;
                case IDCANCEL: p->m_bDone = true; break;
                case IDC_DST_BROWSE: p->OnBrowse(); break;
                case IDC_DST_PATH:
                    if (HIWORD(wParam) == EN_KILLFOCUS) p->UpdateFree();
                    break;
                default: break;
            }
            return 0;
        case WM_CLOSE:
            p->m_bDone = true;
            return 0;
        case WM_CTLCOLORSTATIC:
            SetBkColor(reinterpret_cast<HDC>(wParam), CWinSkin::Get().Back());
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_DST_FREE) SetTextColor(reinterpret_cast<HDC>(wParam), CWinSkin::Get().Muted());
            return reinterpret_cast<LRESULT>(CWinSkin::Get().BackBrush());
        default:
            return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    }
}
