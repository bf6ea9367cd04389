#include "CProgressRecover.h"

#include <climits>
#include <vector>

#include "KivLog.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "KivUiWait.h"
#include "platform/KivFileUtil.h"

CProgressRecover::CProgressRecover(IKivScanDev* pEngine, IKivProgressSink* pSink, CKivRecoveryReport* pReport)
    : m_pEngine(pEngine), m_callback(pSink, pReport) {}

void CProgressRecover::Start(uint32_t nFiles, uint64_t nBytes) {
    m_callback.SetTotals(nFiles, nBytes);
    m_callback.ResetCounters();
}

std::string CProgressRecover::SafeFileName(const std::string& strName) {
    std::string s = strName;
    for (char& c : s)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    if (s.empty() || s == "." || s == "..") s.assign(1, '_');  // not s = "_": a false -Wrestrict of g++ 12
    return s;
}

KivResult CProgressRecover::Wait() {
    return KivWaitPumping([this](uint32_t ms) { return m_pEngine->WaitForRecoverEnd(ms); });
}

KivResult CProgressRecover::DoFileRecover(const std::string& strFolder, std::string* pPath) {
    if (!m_pEngine || !m_pNode) return KIV_RETERR(KIV_E_NOOBJ);
    IKivFileAttr* pAttr = m_pNode->GetAttr();
    std::string folder = strFolder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    std::string path = folder + (pAttr ? SafeFileName(pAttr->GetName()) : std::string("unkown"));
    if (!KivMakeDirs(folder.substr(0, folder.size() - 1))) return KIV_RETERR(KIV_E_BIND);
    if (KivResult rc = m_pEngine->DoRecoverFile(m_pNode, &m_callback, path.c_str()); KivFailed(rc))
        return KIV_LOGERR(rc);
    KivResult rc = Wait();
    if (pPath) *pPath = path;
    if (KivFailed(rc)) return KIV_LOGERR(rc);
    return KIV_OK;
}

KivResult CProgressRecover::DoDirRecover(const std::string& strFolder, std::string* pCreated) {
    if (!m_pEngine || !m_pNode) return KIV_RETERR(KIV_E_NOOBJ);
    std::vector<char> created(PATH_MAX + 1, '\0');
    if (KivResult rc = m_pEngine->DoRecoverDir(m_pNode, &m_callback, strFolder.c_str(), created.data(),
                                               static_cast<uint32_t>(created.size()));
        KivFailed(rc))
        return KIV_LOGERR(rc);
    KivResult rc = Wait();
    if (pCreated) *pCreated = created.data();
    if (m_callback.IsStopped()) return KIV_RETERR(KIV_E_STOPPED);
    if (KivFailed(rc)) return KIV_LOGERR(rc);
    return KIV_OK;
}

void CProgressRecover::RequestStop() {
    if (m_callback.FileBar() < 1000) m_callback.RequestStop();
}

bool CProgressRecover::AskStop(IKivPrompt& prompt) {
    if (!prompt.AskYesNo(KIV_ASK_STOP, KivHintText("DlgProgScan", "TxtCancel"))) return false;
    RequestStop();
    return true;
}
