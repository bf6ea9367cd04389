// The ring of the wizard's panels: registered in order, linked so that Next on the last one
// leads back to the first, one shown at a time.
#pragma once

#include <windows.h>

#include <vector>

#include "KivCommon.h"

class CWinPanel;

class CWinPanelMgr {
public:
    explicit CWinPanelMgr(HWND hMsgOwner) : m_hMsgOwner(hMsgOwner) {}

    // 0x002 for a null panel.
    KivResult RegisterPanel(CWinPanel* pPanel);
    // 0x002 for an empty ring.
    KivResult SetPanelStep();
    void Show(CWinPanel* pPanel);
    void GoNext();
    void GoBack();
    void GoFirst();
    CWinPanel* Current() const { return m_pCurrent; }
    const std::vector<CWinPanel*>& Panels() const { return m_panels; }
    // True while a panel's Next runs (a scan, a recovery): nothing else moves meanwhile.
    bool IsMoving() const { return m_bMoving; }

private:
    HWND m_hMsgOwner;
    std::vector<CWinPanel*> m_panels;
    CWinPanel* m_pCurrent = nullptr;
    bool m_bMoving = false;
};
