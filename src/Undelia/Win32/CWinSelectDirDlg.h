// The destination dialog: the folder the ticked files go into, typed or picked, with the space
// they take and the space free there. OK runs the core's checks: an existing folder (one typed
// that is not there yet is offered), never on the medium being read, room for 110 % of the
// selection or the user's word.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CWinSelectDirDlg {
public:
    CWinSelectDirDlg(uint64_t nBytes, HWND hOwner) : m_nBytes(nBytes), m_hOwner(hOwner) {}

    // Modal; true with the folder chosen.
    bool Run();
    const std::wstring& Folder() const { return m_strFolder; }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    std::wstring PathText() const;
    void UpdateFree();
    void OnOk();
    void OnBrowse();

    uint64_t m_nBytes;
    HWND m_hOwner;
    HWND m_hWnd = nullptr;
    std::wstring m_strFolder;
    bool m_bDone = false, m_bOk = false;
};
