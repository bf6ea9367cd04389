#include "CWinPrompt.h"

#include "CWinSkin.h"

namespace {

std::wstring Title() { return CWinSkin::Get().Text("DlgMsg", "Title", L"Undelia"); }

}  // namespace

void CWinPrompt::Show(HWND hOwner, const std::wstring& strText, bool bError) {
    MessageBoxW(hOwner, strText.c_str(), Title().c_str(), MB_OK | (bError ? MB_ICONERROR : MB_ICONINFORMATION));
}

bool CWinPrompt::Ask(HWND hOwner, const std::wstring& strText) {
    return MessageBoxW(hOwner, strText.c_str(), Title().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool CWinPrompt::AskYesNo(KivQuestion nKind, const std::string& strText) {
    if (m_nAnswered & (1u << nKind)) return true;
    return Ask(m_hOwner, KivW(strText));
}

void CWinPrompt::ShowMessage(const std::string& strText) { Show(m_hOwner, KivW(strText)); }
