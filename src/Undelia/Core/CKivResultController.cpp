#include "CKivResultController.h"

#include "CKivRecoveryReport.h"

#include <algorithm>

#include "CDataBackstage.h"
#include "CKivFileNodeMgr.h"
#include "CKivOutputGuard.h"
#include "CKivThumbnailer.h"
#include "CKivUserPrefs.h"
#include "CKivUiNode.h"
#include "CProgressBuild.h"
#include "CProgressRecover.h"
#include "KivFunction.h"
#include "KivLog.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "KivUiWait.h"
#include "platform/KivDestMedium.h"
#include "platform/KivFileUtil.h"
#include "platform/KivPlatform.h"

namespace {

// The engine's partition nodes in the order they were added.
std::vector<IKivFileNode*> Partitions(IKivFsNode* pRoot) {
    std::vector<IKivFileNode*> out;
    for (IKivFileNode* p = pRoot->GetFirstChild(); p; p = p->GetNextSibling()) out.push_back(p);
    std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace

int KivFollowRename(std::string* pPath, const std::vector<std::pair<std::string, std::string>>& renamed) {
    for (size_t i = 0; i < renamed.size(); ++i) {
        const std::string from = renamed[i].first + "/";
        if (pPath->compare(0, from.size(), from) != 0) continue;
        *pPath = renamed[i].second + "/" + pPath->substr(from.size());
        return static_cast<int>(i);
    }
    return -1;
}

CKivResultController::CKivResultController(CDataBackstage& backstage) : m_backstage(backstage) {}

std::vector<CKivScanResPart*> CKivResultController::FilterValueResPart(const std::vector<CKivScanResPart*>& parts,
                                                                       int nDevMode) {
    // A whole disk builds every partition the engine selected: a cap would hide the rest.
    if (nDevMode == 0) return parts;
    size_t n = 1;
    for (size_t i = 1; i < parts.size(); ++i)
        if (parts[i]->m_nSelected) n = 2;
    return {parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(std::min(n, parts.size()))};
}

KivResult CKivResultController::FileInit(IKivProgressSink* pSink) {
    CKivUiNode *pDir = nullptr, *pType = nullptr;
    if (KivSucceeded(m_backstage.GetEnumFileResult(&pDir, &pType))) return KIV_OK;
    std::vector<CKivScanResPart*> all;
    if (KivResult rc = m_backstage.GetScanResult(&all); KivFailed(rc)) return rc;
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    if (KivResult rc = m_backstage.GetEnumFileData(&pEngine, &pMgr); KivFailed(rc)) return rc;
    // An empty list still builds the carved files of the whole device, when there are any.
    std::vector<CKivScanResPart*> parts = FilterValueResPart(all, m_backstage.GetDirectDevice() ? 0 : m_backstage.GetDevMode());
    CProgressBuild build(m_backstage, pSink);
    KivResult rc = build.Build(parts);
    if (KivErrNo(rc) == KIV_E_NOTREE || (KivErrNo(rc) == KIV_E_INVALIDARG && parts.empty()))
        return KIV_RETERR(KIV_E_NOTHINGFOUND);
    if (KivErrNo(rc) == KIV_E_NOMEMORY) return rc;
    if (KivFailed(rc)) return KIV_RETERR(KIV_E_BIND);
    pMgr->GetUiRootDir(&pDir);
    pMgr->GetUiRootType(&pType);
    for (CKivNodeStateMgr& s : m_states) s.Reset();
    return m_backstage.SetEnumFileResult(pDir, pType);
}

CKivUiNode* CKivResultController::Root(View view) const {
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    m_backstage.GetRecoverData(&pEngine, &pMgr);
    if (!pMgr) return nullptr;
    CKivUiNode* p = nullptr;
    if (view == VIEW_DIR) pMgr->GetUiRootDir(&p);
    if (view == VIEW_TYPE) pMgr->GetUiRootType(&p);
    if (view == VIEW_FILTER) p = pMgr->GetUiRootFilterView();
    return p;
}

KivResult CKivResultController::ApplyFilter(const CKivResultFilter& filter, CKivUiNode** ppRoot) {
    if (!ppRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppRoot = nullptr;
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    if (KivResult rc = m_backstage.GetRecoverData(&pEngine, &pMgr); KivFailed(rc)) return rc;
    m_states[VIEW_FILTER].Reset();
    CKivUiNode* pRoot = nullptr;
    KivResult rc = KivRunPumping([&] { return pMgr->GetUiRootFilter(filter, &pRoot); });
    if (KivFailed(rc)) {
        pMgr->DropFilterView();
        return rc;
    }
    *ppRoot = pRoot;
    if (!pRoot->HasChildren()) return KIV_RETERR(KIV_E_NOTHINGFOUND);
    return KIV_OK;
}

KivResult CKivResultController::SetTick(View view, CKivUiNode* pNode, bool bTicked) {
    return States(view).SetSelectState(pNode, bTicked ? CKivUiNode::STATE_TICKED : CKivUiNode::STATE_NONE);
}

void CKivResultController::GetTotals(View view, uint64_t* pFiles, uint64_t* pBytes) const {
    int64_t n = 0;
    m_states[view].GetTotals(&n, pBytes);
    if (pFiles) *pFiles = n < 0 ? 0 : static_cast<uint64_t>(n);
}

std::string CKivResultController::TotalsText(View view) const {
    uint64_t nFiles = 0, nBytes = 0;
    GetTotals(view, &nFiles, &nBytes);
    return KivReplaceArg(KivReplaceArg(KivHintText("PanelFileRes", nFiles == 1 ? "TxtTotalsOne" : "TxtTotals"), std::to_string(nFiles)),
                         KivSizeTextIec(nBytes));
}

uint64_t CKivResultController::FilesListed() const {
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    m_backstage.GetRecoverData(&pEngine, &pMgr);
    return pMgr && Root(VIEW_DIR) ? pMgr->DirList().size() : 0;
}

std::vector<CKivUiNode*> CKivResultController::Pictures() const {
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    m_backstage.GetRecoverData(&pEngine, &pMgr);
    std::vector<CKivUiNode*> out;
    if (!pMgr || !Root(VIEW_DIR)) return out;
    for (CKivUiNode* p : pMgr->DirList())
        if (p->IsFile() && CKivThumbnailer::IsPicture(p->GetName())) out.push_back(p);
    return out;
}

bool CKivResultController::ScanStopped(unsigned* pPercent) const {
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    m_backstage.GetRecoverData(&pEngine, &pMgr);
    uint64_t nDone = 0, nTotal = 0;
    int bComplete = 1;
    if (!pEngine || KivFailed(pEngine->GetScanPosition(&nDone, &nTotal, &bComplete)) || bComplete || nTotal == 0)
        return false;
    // Never "100 %" for a scan that missed its last blocks.
    if (pPercent) *pPercent = static_cast<unsigned>(std::min<uint64_t>(99, nDone * 100 / nTotal));
    return true;
}

std::string CKivResultController::ScanStateText() const {
    std::string files = std::to_string(FilesListed());
    unsigned nPct = 0;
    if (!ScanStopped(&nPct)) return KivHintFormat("PanelFileRes", "ScanComplete", files);
    return KivReplaceArg(KivReplaceArg(KivHintText("PanelFileRes", "ScanStopped"), std::to_string(nPct)), files);
}

bool CKivResultController::FreeSpace(const std::string& strFolder, uint64_t* pBytes) {
    return KivFreeBytes(strFolder, pBytes);
}

KivResult CKivResultController::CheckDestination(const CDataBackstage& backstage, const std::string& strFolder,
                                                 uint64_t nBytes, IKivPrompt* pPrompt) {
    if (!KivIsDir(strFolder)) return KIV_RETERR(KIV_E_NODESTFOLDER);
    if (KivOutputVerdict v = backstage.CheckOutput(strFolder, KivOutput::kRecoverFolder); v.bRefused) {
        if (pPrompt) pPrompt->ShowMessage(v.strText);
        return KIV_RETERR(KIV_E_ONMEDIUM);
    }
    uint64_t nFree = 0;
    // 110 % of what is ticked, in integer arithmetic; exactly that much free is enough.
    uint64_t nNeed = nBytes > UINT64_MAX / 110 ? UINT64_MAX : nBytes * 110 / 100;
    if (FreeSpace(strFolder, &nFree) && nFree < nNeed) {
        if (!pPrompt || !pPrompt->AskYesNo(KIV_ASK_LOW_SPACE, KivHintText("DlgSelectDir", "Capcity"))) return KIV_RETERR(KIV_E_NOSPACE);
    }
    return KIV_OK;
}

KivResult CKivResultController::CreateDestination(const std::string& strFolder, const std::string& strScanMedium,
                                                  std::string* pWhy) {
    std::string why;
    if (strFolder.empty()) why = "no folder given";
    if (why.empty()) {
        KivOutputVerdict v = CKivOutputGuard::Check(strScanMedium, strFolder, KivOutput::kRecoverFolder);
        if (v.bRefused) why = v.strText;
    }
    if (why.empty()) why = KivDestUnusable(strFolder);
    if (why.empty() && !KivMakeDirs(strFolder)) why = "cannot create '" + strFolder + "'";
    if (pWhy) *pWhy = why;
    return why.empty() ? KIV_OK : KIV_RETERR(KIV_E_NODESTFOLDER);
}

std::string CKivResultController::StartFolder(const char* pszPrefKey) {
    std::string kept = CKivUserPrefs::Get().GetText(pszPrefKey);
    if (!kept.empty() && kept[0] == '/') {
        std::string dir = KivIsDir(kept) ? kept : KivExistingAncestor(kept);
        if (!dir.empty() && dir != "/") return dir;
    }
    return {};
}

void CKivResultController::RememberFolder(const char* pszPrefKey, const std::string& strFolder,
                                          const std::string& strScanMedium) {
    CKivUserPrefs& prefs = CKivUserPrefs::Get();
    if (strFolder.empty() || prefs.GetText(pszPrefKey) == strFolder) return;
    prefs.SetText(pszPrefKey, strFolder);
    prefs.Save(strScanMedium);
}

void CKivResultController::RequestStopRecover() {
    if (m_pRunning) m_pRunning->RequestStop();
}

KivResult CKivResultController::ConfirmRecover(View view, const std::string& strFolder, IKivPrompt* pPrompt,
                                               KivRecoverSummary* pSummary) {
    KivRecoverSummary sum;
    uint64_t nFiles = 0, nBytes = 0;
    GetTotals(view, &nFiles, &nBytes);
    sum.nFilesTicked = static_cast<uint32_t>(nFiles);
    sum.nBytesTicked = nBytes;
    if (pSummary) *pSummary = sum;
    if (nFiles == 0) return KIV_RETERR(KIV_E_NOSELECTION);
    if (KivResult rc = CheckDestination(m_backstage, strFolder, nBytes, pPrompt); KivFailed(rc)) return rc;
    if (pPrompt && !pPrompt->AskYesNo(KIV_ASK_RECOVER_INTO, KivHintFormat("PanelFileRes", "RecoverDstWarn", strFolder))) {
        sum.bDeclined = true;
        if (pSummary) *pSummary = sum;
    }
    return KIV_OK;
}

KivResult CKivResultController::Recover(View view, const std::string& strFolder, IKivProgressSink* pSink,
                                        IKivPrompt* pPrompt, KivRecoverSummary* pSummary,
                                        CKivRecoveryReport* pReport) {
    KivRecoverSummary sum;
    KivResult rcConfirm = ConfirmRecover(view, strFolder, pPrompt, &sum);
    if (pSummary) *pSummary = sum;
    if (KivFailed(rcConfirm) || sum.bDeclined) return rcConfirm;
    const uint64_t nBytes = sum.nBytesTicked;

    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    if (KivResult rc = m_backstage.GetRecoverData(&pEngine, &pMgr); KivFailed(rc)) return rc;
    CKivUiNode* pShown = Root(view);
    if (!pShown) return KIV_RETERR(KIV_E_STATE);
    IKivFsNode* pResult = pMgr->GetResultRoot();
    if (!pEngine || !pResult) return KIV_RETERR(KIV_E_INVALIDARG);
    if (KivResult rc = pMgr->MakeSelectedFileNodeRoot(pShown); KivFailed(rc)) return rc;

    CProgressRecover recover(pEngine, pSink, pReport);
    recover.Start(sum.nFilesTicked, nBytes);
    m_pRunning = &recover;
    KivResult rc = KIV_OK;
    for (IKivFileNode* pPart : Partitions(pResult)) {
        if (!pPart->IsFsNode()) {
            rc = KIV_RETERR(KIV_E_NOOBJ);
            break;
        }
        IKivFileAttr* a = pPart->GetAttr();
        if (!a || a->GetCheckState() == KIV_CHECK_NONE) continue;
        recover.SetNode(pPart);
        std::string created;
        rc = recover.DoDirRecover(strFolder, &created);
        if (!created.empty()) {
            // Placeholder folders get readable names even when the run was stopped.
            pMgr->AdjustDirPathAfterRecover(created, nullptr, &sum.renamed);
            sum.folders.push_back(created);
        }
        if (KivFailed(rc) || recover.Counters().IsDestStopped()) break;
    }
    m_pRunning = nullptr;
    if (pReport) pReport->FollowRenames(sum.renamed);
    const CKivFileRecover& c = recover.Counters();
    sum.nFilesWritten = c.FilesDone();
    sum.nBytesWritten = c.BytesDone();
    sum.nDamaged = c.Damaged();
    sum.nFailed = c.Failed();
    sum.bStopped = recover.WasStopped();
    sum.bDestStopped = c.IsDestStopped();
    sum.strDestStopped = c.DestStopped();
    if (pSummary) *pSummary = sum;
    return rc;
}

std::string CKivResultController::PreviewFolder() {
    std::string exe = KivGetExeDir();
    if (!exe.empty() && !KivIsInstalled() && KivCanWriteDir(exe)) return exe + "/Tmp";
    std::string cache = KivUserDir("XDG_CACHE_HOME", ".cache");
    return cache.empty() ? std::string() : cache + "/Tmp";
}

void CKivResultController::ClearPreviewFolder() {
    std::string dir = PreviewFolder();
    std::vector<std::string> names;
    if (dir.empty() || !KivListDir(dir, &names)) return;
    for (const std::string& name : names) {
        std::string path = dir + "/" + name;
        if (KivPathTypeOf(path) != KivPathType::kDir) KivRemoveFile(path);
    }
}

KivResult CKivResultController::Preview(CKivUiNode* pFile, IKivProgressSink* pSink, IKivPrompt* pPrompt,
                                        std::string* pPath, bool* pExternal) {
    if (pPath) pPath->clear();
    if (pExternal) *pExternal = false;
    if (!pFile || !pFile->IsFile()) return KIV_RETERR(KIV_E_INVALIDARG);
    if (pFile->GetSize() > kPreviewLimit) {
        if (pPrompt) pPrompt->ShowMessage(KivHintText("PanelFileRes", "PrivewSizeLimit"));
        return KIV_OK;
    }
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    if (KivResult rc = m_backstage.GetRecoverData(&pEngine, &pMgr); KivFailed(rc)) return rc;
    std::string dir = PreviewFolder();
    if (KivOutputVerdict v = m_backstage.CheckOutput(dir, KivOutput::kPreview); v.bRefused) {
        if (pPrompt) pPrompt->ShowMessage(v.strText);
        return KIV_RETERR(KIV_E_ONMEDIUM);
    }
    if (dir.empty() || !KivMakeDirs(dir)) return KIV_RETERR(KIV_E_PREVIEW);
    ClearPreviewFolder();
    CProgressRecover recover(pEngine, pSink);
    recover.Start(1, pFile->GetSize());
    recover.SetNode(pFile->GetEngineNode());
    std::string path;
    if (KivFailed(recover.DoFileRecover(dir, &path))) {
        KivLogW(0, L"Recover faild");
        return KIV_RETERR(KIV_E_PREVIEW);
    }
    if (pPath) *pPath = path;
    static const char* const kExternal[] = {".doc", ".docx", ".xls", ".xlsx", ".ppt", ".zip", ".rar"};
    size_t dot = path.rfind('.');
    if (pExternal && dot != std::string::npos)
        for (const char* e : kExternal)
            if (KivStrICmp(path.c_str() + dot, e) == 0) *pExternal = true;
    return KIV_OK;
}
