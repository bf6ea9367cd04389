#include "CWinRecovResDlg.h"

#include <algorithm>

#include "CDataBackstage.h"
#include "CKivRecoveryRun.h"
#include "CKivUserPrefs.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "KivWinIds.h"
#include "KivWinShell.h"

CWinRecovResDlg::CWinRecovResDlg(const KivRecoverSummary& sum, const std::vector<std::string>& problems,
                                 const CKivRecoveryReport* pReport, HWND hOwner)
    : CWinModal(hOwner), m_sum(sum), m_problems(problems), m_pReport(pReport) {}

void CWinRecovResDlg::Run() {
    const CWinSkin& skin = CWinSkin::Get();
    SIZE size = skin.Size("DlgRecovRes", "Size", {520, 280});
    // Without a list of damaged and failed files the dialog is as tall as its lines.
    if (m_problems.empty()) {
        const size_t nLines = std::max<size_t>(KivRecoverSummaryLines(KivWinShownSummary(m_sum)).size(), 1);
        size.cy = S(20) * static_cast<int>(nLines + 1) + S(20) * 2 + S(30) + S(16);
    }
    size.cx = std::max<LONG>(size.cx, S(560));
    CWinModal::Run(skin.Text("DlgRecovRes", "Title", L"Recovery finished"), size);
}

void CWinRecovResDlg::OnInit() {
    const CWinSkin& skin = CWinSkin::Get();
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    const int m = S(20), bh = S(30), w = rc.right - 2 * m;
    std::wstring text;
    const std::vector<std::string> lines = KivRecoverSummaryLines(KivWinShownSummary(m_sum));
    for (const std::string& s : lines) text += (text.empty() ? L"" : L"\r\n") + KivW(s);
    const int th = S(20) * static_cast<int>(std::max<size_t>(lines.size(), 1) + 1);
    Add(L"STATIC", text, SS_LEFT | SS_NOPREFIX, IDC_RRS_TEXT, m, m, w, th);
    if (!m_problems.empty()) {
        // Each file that is not whole, with its reason: nothing wrong is handed back silently.
        std::wstring rows;
        for (const std::string& s : m_problems) rows += KivW(s) + L"\r\n";
        HWND hList = Add(L"EDIT", rows, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
                         IDC_RRS_LIST, m, m + th + S(6), w, rc.bottom - 2 * m - bh - th - S(16), WS_EX_CLIENTEDGE);
        SendMessageW(hList, EM_SETLIMITTEXT, 0, 0);
    }
    const int by = rc.bottom - m - bh, okW = S(90), openW = S(140), repW = S(150);
    int x = rc.right - m - okW;
    HWND hOk = Add(L"BUTTON", skin.Text("DlgRecovRes", "Ok", L"OK"), BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, x, by, okW, bh);
    if (m_pReport) {
        x -= S(10) + repW;
        Add(L"BUTTON", skin.Text("DlgRecovRes", "BtnReport", L"Save report…"), BS_PUSHBUTTON | WS_TABSTOP, IDC_RRS_REPORT, x, by, repW, bh);
    }
    if (!m_sum.folders.empty()) {
        x -= S(10) + openW;
        Add(L"BUTTON", skin.Text("DlgRecovRes", "BtnOpen", L"Open folder"), BS_PUSHBUTTON | WS_TABSTOP, IDC_RRS_OPEN, x, by, openW, bh);
    }
    SetFocus(hOk);
}

bool CWinRecovResDlg::SaveReport(const std::wstring& strFile) {
    if (!m_pReport) return false;
    std::string why;
    if (KivResult rc = CKivRecoveryRun::SaveReport(CDataBackstage::Get(), *m_pReport, KivU(strFile), &why); KivFailed(rc)) {
        CWinPrompt::Show(m_hWnd,
                         CWinSkin::HintArg("PanelFileRes", KivErrNo(rc) == KIV_E_ONMEDIUM ? "ReportOnMedium" : "ReportFailed", KivW(why)),
                         true);
        return false;
    }
    std::wstring folder = strFile.substr(0, strFile.find_last_of(L"\\/"));
    CKivResultController::RememberFolder(CKivUserPrefs::kLastReportFolder, KivU(folder), CDataBackstage::Get().GetScanMediumPath());
    CWinPrompt::Show(m_hWnd, CWinSkin::HintArg("PanelFileRes", "ReportDone", strFile));
    return true;
}

void CWinRecovResDlg::OnCommand(int nId, int nCode) {
    if (nCode != BN_CLICKED) return;
    switch (nId) {
        case IDOK: End(true); return;
        case IDC_RRS_OPEN: KivShellOpen(m_hWnd, KivW(KivWinShownPath(m_sum.folders.front()))); return;
        case IDC_RRS_REPORT: {
            const CWinSkin& skin = CWinSkin::Get();
            // Where the last report went, else the documents folder: never on the medium being recovered.
            std::wstring start = KivW(CKivResultController::StartFolder(CKivUserPrefs::kLastReportFolder));
            if (start.empty()) start = KivUserFolder();
            std::wstring file = KivAskSaveFile(m_hWnd, skin.Text("DlgRecovRes", "DlgReport", L"Save recovery report"),
                                               skin.Text("DlgRecovRes", "ReportFiles", L"JSON report (*.json);;DFXML report (*.xml)"),
                                               start + L"\\recovery-report.json", L"json");
            if (!file.empty()) SaveReport(file);
            return;
        }
        default: CWinModal::OnCommand(nId, nCode);
    }
}
