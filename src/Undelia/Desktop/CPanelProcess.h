// Builds the wizard: the five panels in the panel area, registered with the panel manager in
// their order (home, device, file types, results, final) and linked into the ring.
#pragma once

#include <QRect>

#include "KivCommon.h"

class QWidget;
class CPanelMgr;
class CPanelHome;
class CPanelEnumDev;
class CPanelFileType;
class CPanelFileRes;
class CPanelFinal;

class CPanelProcess {
public:
    explicit CPanelProcess(QWidget* pHost);
    ~CPanelProcess();

    // Creates what it can; answers the first failing code.
    KivResult Init(const QRect& area);

    CPanelMgr* Mgr() const { return m_pMgr; }
    CPanelHome* Home() const { return m_pHome; }
    CPanelEnumDev* EnumDev() const { return m_pEnumDev; }
    CPanelFileType* FileType() const { return m_pFileType; }
    CPanelFileRes* FileRes() const { return m_pFileRes; }
    CPanelFinal* Final() const { return m_pFinal; }

private:
    QWidget* m_pHost;
    CPanelMgr* m_pMgr;
    CPanelHome* m_pHome = nullptr;
    CPanelEnumDev* m_pEnumDev = nullptr;
    CPanelFileType* m_pFileType = nullptr;
    CPanelFileRes* m_pFileRes = nullptr;
    CPanelFinal* m_pFinal = nullptr;
};
