// The file-type panel: one item per catalogue group with a tri-state tick and the check list of
// its extensions, the catch-all "others...", and "Select All File Type". Next turns the ticks into
// the engine's filter settings, scans the chosen device and builds the results; when nothing is
// found the panel stays.
#pragma once

#include "CKivFileTypeChoice.h"
#include "CPanelBase.h"

class QCheckBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class CPanelFileRes;

class CPanelFileType : public CPanelBase {
    Q_OBJECT
public:
    explicit CPanelFileType(QWidget* pParent);

    // The results panel that builds the views once the scan has found something.
    void SetResults(CPanelFileRes* pRes) { m_pRes = pRes; }

    void OnEnter() override;
    bool OnNext() override;

    QTreeWidget* List() const { return m_pList; }
    QCheckBox* SelectAll() const { return m_pAll; }
    const CKivFileTypeChoice& Choice() const { return m_choice; }
    // Ticks the group by its shown name (the tests and keyboard users do what a click does).
    bool TickGroup(const QString& strName, bool bTicked);

private:
    void Load();
    void Sync();
    void OnItemChanged(QTreeWidgetItem* pItem, int nColumn);

    QLabel* m_pDevice;
    QTreeWidget* m_pList;
    QCheckBox* m_pAll;
    CPanelFileRes* m_pRes = nullptr;
    CKivFileTypeChoice m_choice;
    bool m_bLoaded = false;
    bool m_bSyncing = false;
};
