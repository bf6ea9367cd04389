#include "CWinPanelFinal.h"

#include "CKivResultController.h"
#include "CWinSkin.h"
#include "KivUiTexts.h"
#include "KivWinIds.h"
#include "KivWinShell.h"

CWinPanelFinal::CWinPanelFinal() : CWinPanel("PanelFinal", 4) { SetNextEntry("BtnStartOver"); }

void CWinPanelFinal::OnCreate() {
    m_hSummary = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, IDC_FIN_SUMMARY, "PanelFinal", "StSummary", {32, 100, 896, 220});
    m_hOpen = AddButton(IDC_FIN_OPEN, "BtnOpen", L"Open the recovered files", {32, 336, 220, 36});
    EnableWindow(m_hOpen, FALSE);
}

void CWinPanelFinal::SetResult(const KivRecoverSummary& sum, size_t) {
    const CWinSkin& skin = CWinSkin::Get();
    std::wstring text = skin.Text("PanelFinal", "TxtIntro", L"The recovery has finished.") + L"\r\n\r\n";
    for (const std::string& s : KivRecoverSummaryLines(KivWinShownSummary(sum))) text += KivW(s) + L"\r\n";
    text += L"\r\n" + skin.Text("PanelFinal", "TxtNext");
    SetWindowTextW(m_hSummary, text.c_str());
    m_strFolder = sum.folders.empty() ? std::wstring() : KivW(KivWinShownPath(sum.folders.front()));
    EnableWindow(m_hOpen, !m_strFolder.empty());
}

void CWinPanelFinal::OnEnter() { SetFocus(IsWindowEnabled(m_hOpen) ? m_hOpen : m_hNext); }

LRESULT CWinPanelFinal::OnCommand(int nId, int nCode, HWND hCtl) {
    if (nId == IDC_FIN_OPEN && nCode == BN_CLICKED) {
        if (!m_strFolder.empty()) KivShellOpen(m_hMain, m_strFolder);
        return 0;
    }
    return CWinPanel::OnCommand(nId, nCode, hCtl);
}
