#include "CPanelProcess.h"

#include <QWidget>

#include "CKivSkinLayout.h"
#include "CPanelEnumDev.h"
#include "CPanelFileRes.h"
#include "CPanelFileType.h"
#include "CPanelFinal.h"
#include "CPanelHome.h"
#include "CPanelMgr.h"

CPanelProcess::CPanelProcess(QWidget* pHost) : m_pHost(pHost), m_pMgr(new CPanelMgr(pHost)) {
    m_pMgr->setParent(pHost);
}

CPanelProcess::~CPanelProcess() = default;

KivResult CPanelProcess::Init(const QRect& area) {
    // The panel area of the host window: each panel fills it.
    auto* pArea = new QWidget(m_pHost);
    pArea->setObjectName("PanelArea");
    CKivSkinLayout::Of(m_pHost)->Add(pArea, area, CKivSkinLayout::WIDTH | CKivSkinLayout::HEIGHT);
    CKivSkinLayout* pPanels = CKivSkinLayout::Of(pArea);
    pPanels->SetDesignSize(area.size());
    m_pHome = new CPanelHome(pArea);
    m_pEnumDev = new CPanelEnumDev(pArea);
    m_pFileType = new CPanelFileType(pArea);
    m_pFileRes = new CPanelFileRes(pArea);
    m_pFinal = new CPanelFinal(pArea);
    m_pFileRes->SetFinal(m_pFinal);
    m_pFileType->SetResults(m_pFileRes);
    m_pHome->SetResults(m_pFileRes);
    QObject::connect(m_pFileRes, &CPanelFileRes::GoOnRequested, m_pHome, [this](const QString& f) { m_pHome->OpenScan(f); });
    QObject::connect(m_pHome, &CPanelHome::ScanOpened, m_pMgr, [this](CPanelBase* p) { m_pMgr->Show(p); });
    KivResult rc = KIV_OK;
    for (CPanelBase* p : std::initializer_list<CPanelBase*>{m_pHome, m_pEnumDev, m_pFileType, m_pFileRes, m_pFinal}) {
        pPanels->Add(p, QRect(QPoint(0, 0), area.size()), CKivSkinLayout::WIDTH | CKivSkinLayout::HEIGHT);
        p->hide();
        if (KivResult r = m_pMgr->RegisterPanel(p); KivFailed(r) && KivSucceeded(rc)) rc = r;
    }
    if (KivResult r = m_pMgr->SetPanelStep(); KivFailed(r)) return r;
    m_pMgr->Show(m_pHome);
    return rc;
}
