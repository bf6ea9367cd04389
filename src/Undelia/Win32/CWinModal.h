// The base of the program's own modal dialogs (filter, preview, recovery result): a window of the
// skin's colours centred on its owner, controls in the skin's font at the monitor's scale, and a
// message loop of its own with Tab, Enter and Esc, run until End.
#pragma once

#include <windows.h>

#include <string>

class CWinModal {
public:
    explicit CWinModal(HWND hOwner) : m_hOwner(hOwner) {}
    virtual ~CWinModal() = default;
    CWinModal(const CWinModal&) = delete;
    CWinModal& operator=(const CWinModal&) = delete;

    // Modal; the value End was given (false when closed).
    bool Run(const std::wstring& strTitle, SIZE client, bool bResizable = false);
    HWND Hwnd() const { return m_hWnd; }

protected:
    // Creates the controls (the client size is known then).
    virtual void OnInit() = 0;
    // IDOK and IDCANCEL come here too; the default ends with false on IDCANCEL.
    virtual void OnCommand(int nId, int nCode);
    virtual void OnSize(int nWidth, int nHeight) {}
    virtual LRESULT OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    void End(bool bResult);
    HWND Add(const wchar_t* pszClass, const std::wstring& strText, DWORD nStyle, int nId, int x, int y, int w, int h,
             DWORD nExStyle = 0);
    int S(int n) const;

    HWND m_hOwner;
    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    bool m_bDone = false, m_bResult = false;
};
