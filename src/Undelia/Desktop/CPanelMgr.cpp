#include "CPanelMgr.h"

#include <QApplication>

#include "CDlgMsg.h"
#include "CKivSkin.h"
#include "CPanelBase.h"
#include "KivLog.h"

KivResult CPanelMgr::RegisterPanel(CPanelBase* pPanel) {
    if (!pPanel) return KIV_RETERR(KIV_E_INVALIDARG);
    m_panels.push_back(pPanel);
    connect(pPanel, &CPanelBase::NextRequested, this, &CPanelMgr::GoNext);
    connect(pPanel, &CPanelBase::BackRequested, this, &CPanelMgr::GoBack);
    connect(pPanel, &CPanelBase::FirstRequested, this, &CPanelMgr::GoFirst);
    return KIV_OK;
}

KivResult CPanelMgr::SetPanelStep() {
    if (m_panels.empty()) return KIV_RETERR(KIV_E_INVALIDARG);
    for (size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i]->SetPrev(i == 0 ? nullptr : m_panels[i - 1]);
        m_panels[i]->SetNext(i + 1 < m_panels.size() ? m_panels[i + 1] : m_panels.front());
    }
    return KIV_OK;
}

void CPanelMgr::Show(CPanelBase* pPanel) {
    if (!pPanel) return;
    for (CPanelBase* p : m_panels)
        if (p != pPanel) p->hide();
    m_pCurrent = pPanel;
    pPanel->show();
    pPanel->raise();
    pPanel->OnEnter();
    // Focus into the panel so that Tab walks its own controls.
    // OnEnter gives the focus to the panel's first control; without one the panel takes it, so
    // that Tab walks its own controls.
    if (!pPanel->isAncestorOf(QApplication::focusWidget())) pPanel->setFocus(Qt::TabFocusReason);
    emit PanelChanged(pPanel);
}

void CPanelMgr::GoNext() {
    if (!m_pCurrent || m_bMoving) return;
    if (!m_pCurrent->GetNext()) {
        CDlgMsg::Show(m_pMsgParent, CKivSkin::Hint("Panel", "LastPage"));
        return;
    }
    m_bMoving = true;
    CPanelBase* pFrom = m_pCurrent;
    bool bGo = pFrom->OnNext();
    m_bMoving = false;
    if (bGo && m_pCurrent == pFrom) Show(pFrom->GetNext());
}

void CPanelMgr::GoBack() {
    if (!m_pCurrent || m_bMoving) return;
    if (!m_pCurrent->GetPrev()) {
        CDlgMsg::Show(m_pMsgParent, CKivSkin::Hint("Panel", "TopPage"));
        return;
    }
    if (m_pCurrent->OnBack()) Show(m_pCurrent->GetPrev());
}

void CPanelMgr::GoFirst() {
    if (!m_bMoving && !m_panels.empty()) Show(m_panels.front());
}
