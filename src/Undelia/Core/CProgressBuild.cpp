#include "CProgressBuild.h"

#include "CDataBackstage.h"
#include "CKivFileNodeMgr.h"
#include "KivLog.h"
#include "KivUiTexts.h"
#include "KivUiWait.h"

CProgressBuild::CProgressBuild(CDataBackstage& backstage, IKivProgressSink* pSink)
    : m_backstage(backstage), m_pSink(pSink), m_callback(pSink) {}

bool CProgressBuild::AskStop(IKivPrompt& prompt) {
    if (!prompt.AskYesNo(KIV_ASK_STOP, KivHintText("DlgProgScan", "TxtCancel"))) return false;
    RequestStop();
    return true;
}

KivResult CProgressBuild::Build(std::vector<CKivScanResPart*>& parts) {
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    if (KivFailed(m_backstage.GetEnumFileData(&pEngine, &pMgr)) || !pEngine || !pMgr)
        return KIV_RETERR(KIV_E_INITSTATE);
    IKivFsNode* pRoot = nullptr;
    if (KivResult rc = pEngine->EnumResFiles(0, &parts, &m_callback, &pRoot); KivFailed(rc)) return KIV_LOGERR(rc);
    if (!pRoot) return KIV_RETERR(KIV_E_NOOBJ);
    if (KivResult rc = pMgr->Init(pRoot); KivFailed(rc)) {
        pRoot->Release();
        return rc;
    }
    KivResult rc = KivRunPumping([&] { return pMgr->MakeUiNode(m_pSink); });
    // Views cut short by an exception are no result to show; the next build starts afresh.
    if (KivFailed(rc)) pMgr->Reset();
    return rc;
}
