// The first panel: a whole disk or one partition, each a large button whose explanation shows
// below while the pointer or the focus is on it; and "Open saved scan…".
#pragma once

#include "CWinPanel.h"

class CWinPanelFileRes;

class CWinPanelHome : public CWinPanel {
public:
    CWinPanelHome();
    void SetResults(CWinPanelFileRes* p) { m_pRes = p; }
    void OnEnter() override;
    bool OnNext() override;
    // Opens a saved scan and goes on to the results (or scans the rest first).
    bool OpenScan(const std::wstring& strFile);

protected:
    void OnCreate() override;
    LRESULT OnCommand(int nId, int nCode, HWND hCtl) override;
    LRESULT HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowPreview(int nWhich);
    void DrawCard(const DRAWITEMSTRUCT* pDis);
    void Choose(int nMode);

    CWinPanelFileRes* m_pRes = nullptr;
    HWND m_hDevs = nullptr, m_hFiles = nullptr, m_hPreview = nullptr, m_hOpen = nullptr;
    int m_nShown = -2;
    int m_nChosen = -1;
};
