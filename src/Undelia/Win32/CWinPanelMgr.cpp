#include "CWinPanelMgr.h"

#include "CWinPanel.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivLog.h"

KivResult CWinPanelMgr::RegisterPanel(CWinPanel* pPanel) {
    if (!pPanel) return KIV_RETERR(KIV_E_INVALIDARG);
    m_panels.push_back(pPanel);
    return KIV_OK;
}

KivResult CWinPanelMgr::SetPanelStep() {
    if (m_panels.empty()) return KIV_RETERR(KIV_E_INVALIDARG);
    for (size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i]->SetPrev(i == 0 ? nullptr : m_panels[i - 1]);
        m_panels[i]->SetNext(i + 1 < m_panels.size() ? m_panels[i + 1] : m_panels.front());
    }
    return KIV_OK;
}

void CWinPanelMgr::Show(CWinPanel* pPanel) {
    if (!pPanel) return;
    for (CWinPanel* p : m_panels)
        if (p != pPanel) ShowWindow(p->Hwnd(), SW_HIDE);
    m_pCurrent = pPanel;
    ShowWindow(pPanel->Hwnd(), SW_SHOW);
    pPanel->OnEnter();
    // The focus into the panel, so that Tab walks its own controls.
    HWND hFocus = GetFocus();
    if (!hFocus || !IsChild(pPanel->Hwnd(), hFocus)) {
        HWND hFirst = GetNextDlgTabItem(pPanel->Hwnd(), nullptr, FALSE);
        SetFocus(hFirst ? hFirst : pPanel->Hwnd());
    }
}

void CWinPanelMgr::GoNext() {
    if (!m_pCurrent || m_bMoving) return;
    if (!m_pCurrent->GetNext()) {
        CWinPrompt::Show(m_hMsgOwner, CWinSkin::Hint("Panel", "LastPage"));
        return;
    }
    m_bMoving = true;
    CWinPanel* pFrom = m_pCurrent;
    bool bGo = pFrom->OnNext();
    m_bMoving = false;
    if (bGo && m_pCurrent == pFrom) Show(pFrom->GetNext());
}

void CWinPanelMgr::GoBack() {
    if (!m_pCurrent || m_bMoving) return;
    if (!m_pCurrent->GetPrev()) {
        CWinPrompt::Show(m_hMsgOwner, CWinSkin::Hint("Panel", "TopPage"));
        return;
    }
    if (m_pCurrent->OnBack()) Show(m_pCurrent->GetPrev());
}

void CWinPanelMgr::GoFirst() {
    if (!m_bMoving && !m_panels.empty()) Show(m_panels.front());
}
