// The wizard's panels in their ring: each panel's previous is the one registered before it, its
// next the one after it, and the last one's next is the first. One panel is shown at a time.
#pragma once

#include <QObject>
#include <vector>

#include "KivCommon.h"

class CPanelBase;
class QWidget;

class CPanelMgr : public QObject {
    Q_OBJECT
public:
    explicit CPanelMgr(QWidget* pMsgParent) : m_pMsgParent(pMsgParent) {}

    // 0x002 for a null panel.
    KivResult RegisterPanel(CPanelBase* pPanel);
    // Links the registered panels into the ring; 0x002 when there are none.
    KivResult SetPanelStep();

    CPanelBase* Current() const { return m_pCurrent; }
    const std::vector<CPanelBase*>& Panels() const { return m_panels; }
    // Hides the current panel, shows this one and lets it enter.
    void Show(CPanelBase* pPanel);

public slots:
    // Leaves the current panel for its next one when it allows ("last page" without one).
    void GoNext();
    // Back to the previous one ("top page" on the first).
    void GoBack();
    // Straight to the first panel.
    void GoFirst();

signals:
    void PanelChanged(CPanelBase* pPanel);

private:
    QWidget* m_pMsgParent;
    std::vector<CPanelBase*> m_panels;
    CPanelBase* m_pCurrent = nullptr;
    bool m_bMoving = false;  // a panel's Next runs long work that pumps: no second move meanwhile
};
