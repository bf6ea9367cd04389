// The program's message dialog and the core's questions: yes/no and acknowledgements in the
// system's message box, titled with the skin's product name. Questions the front end already
// asked itself (the free space, asked by the destination dialog) can be answered up front.
#pragma once

#include <windows.h>

#include <string>

#include "IKivUiSink.h"

class CWinPrompt : public IKivPrompt {
public:
    explicit CWinPrompt(HWND hOwner) : m_hOwner(hOwner) {}

    static void Show(HWND hOwner, const std::wstring& strText, bool bError = false);
    static bool Ask(HWND hOwner, const std::wstring& strText);

    void SetAnswered(KivQuestion nKind) { m_nAnswered |= 1u << nKind; }
    bool AskYesNo(KivQuestion nKind, const std::string& strText) override;
    void ShowMessage(const std::string& strText) override;

private:
    HWND m_hOwner;
    unsigned m_nAnswered = 0;
};
