// The file-type panel: the catalogue's groups with their extensions as a tree of tri-state check
// boxes (the core's CKivFileTypeChoice keeps the ticks and builds the filter), "Select all file
// types", and the scan on Next.
#pragma once

#include "CKivFileTypeChoice.h"
#include "CWinCheckImages.h"
#include "CWinPanel.h"

class CWinPanelFileRes;

class CWinPanelFileType : public CWinPanel {
public:
    CWinPanelFileType();
    void SetResults(CWinPanelFileRes* p) { m_pRes = p; }
    void OnEnter() override;
    bool OnNext() override;
    void Layout(const RECT& rcArea) override;

protected:
    void OnCreate() override;
    LRESULT OnCommand(int nId, int nCode, HWND hCtl) override;
    LRESULT OnNotify(NMHDR* pHdr) override;
    LRESULT HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void Load();
    void Sync();
    void Toggle(HTREEITEM hItem);

    CWinPanelFileRes* m_pRes = nullptr;
    CKivFileTypeChoice m_choice;
    CWinCheckImages m_checks;
    HWND m_hDevice = nullptr, m_hTree = nullptr, m_hAll = nullptr, m_hHint = nullptr;
    bool m_bLoaded = false;
};
