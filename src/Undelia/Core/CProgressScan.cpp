#include "CProgressScan.h"

#include <cstring>
#include <string>
#include <vector>

#include "CDataBackstage.h"
#include "CKivSessionSaver.h"
#include "KivLog.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "KivUiWait.h"

namespace {

uint64_t SectorsOf(IKivDevStor* p) { return p ? p->GetSectorCount() : 0; }

// What makes a device record the same device after a refresh. Linux has no stable handle values
// to compare: a device is the same when it reads from the same path, at the same place, with the
// same size.
struct DevIdentity {
    std::string path, devPath;
    int32_t nSource = 0, nFsKind = 0, nDynamic = 0;
    uint64_t nFirst = 0, nCount = 0, nSectors = 0;
    bool operator==(const DevIdentity&) const = default;
};

DevIdentity IdentityOf(const DiskInfo& d) {
    DevIdentity id;
    id.path.assign(d.szPath, strnlen(d.szPath, sizeof d.szPath));
    id.nSource = d.nSource;
    id.nSectors = SectorsOf(d.pStor);
    return id;
}

DevIdentity IdentityOf(const PartInfo& p) {
    DevIdentity id;
    const KivPartExtent& x = p.extents[0];
    if (x.pDisk) id.path = x.pDisk->GetPath();
    id.devPath.assign(p.szDevPath, strnlen(p.szDevPath, sizeof p.szDevPath));
    id.nFsKind = p.nFsKind;
    id.nDynamic = p.nDynamic;
    id.nFirst = x.nFirstSector;
    id.nCount = x.nSectorCount;
    id.nSectors = SectorsOf(p.pDevice);
    return id;
}

}  // namespace

CProgressScan::CProgressScan(CDataBackstage& backstage, IKivProgressSink* pSink)
    : m_backstage(backstage), m_scan(pSink) {
    if (uint64_t n = s_nTestStopAfterBlocks.load()) m_scan.SetStopAfterBlocks(n);
}

KivResult CProgressScan::GetSelectedDev(IKivDevStor** ppStor, std::string* pPath) {
    if (!ppStor) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppStor = nullptr;
    if (IKivDevStor* p = m_backstage.GetDirectDevice()) {
        if (pPath) {
            std::vector<DiskInfo> disks;
            m_backstage.GetEnumDevData(&disks, nullptr, nullptr, false);
            for (const DiskInfo& d : disks)
                if (d.pStor == p && d.pDisk) *pPath = d.pDisk->GetPath();
            // A medium opened by path (a saved scan's) keeps the path it was opened from.
            if (pPath->empty()) *pPath = m_backstage.GetScanMediumPath();
        }
        p->AddRef();
        *ppStor = p;
        return KIV_OK;
    }
    bool bDisks = m_backstage.GetDevMode() == 0;
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    uint32_t nIndex = 0;
    if (KivResult rc = m_backstage.GetEnumDevResult(&disks, &parts, &nIndex); KivFailed(rc)) return rc;
    if (nIndex >= (bDisks ? disks.size() : parts.size())) return KIV_RETERR(KIV_E_DEVCHANGED);
    // Taken before the refresh releases the old records.
    DevIdentity chosen = bDisks ? IdentityOf(disks[nIndex]) : IdentityOf(parts[nIndex]);
    if (KivResult rc = m_backstage.GetEnumDevData(&disks, &parts, nullptr, true); KivFailed(rc)) return rc;
    if (nIndex >= (bDisks ? disks.size() : parts.size())) return KIV_RETERR(KIV_E_DEVCHANGED);
    DevIdentity now = bDisks ? IdentityOf(disks[nIndex]) : IdentityOf(parts[nIndex]);
    IKivDevStor* pStor = bDisks ? disks[nIndex].pStor : parts[nIndex].pDevice;
    if (!(now == chosen) || !pStor) return KIV_RETERR(KIV_E_DEVCHANGED);
    if (KivResult rc = m_backstage.SetEnumDevResult(nIndex); KivFailed(rc)) return rc;
    if (pPath) {
        IKivDevDisk* pDisk = bDisks ? disks[nIndex].pDisk : parts[nIndex].extents[0].pDisk;
        const char* pszDev = bDisks ? "" : parts[nIndex].szDevPath;
        *pPath = pszDev[0] ? std::string(pszDev, strnlen(pszDev, sizeof parts[nIndex].szDevPath))
                           : pDisk ? std::string(pDisk->GetPath()) : std::string();
    }
    pStor->AddRef();
    *ppStor = pStor;
    return KIV_OK;
}

KivResult CProgressScan::DoScan() {
    if (!m_backstage.GetResumeSession().strFile.empty()) return GoOn();
    IKivDevStor* pStor = nullptr;
    std::string strPath;
    if (KivResult rc = GetSelectedDev(&pStor, &strPath); KivFailed(rc)) return rc;
    struct Holder {
        IKivDevStor* p;
        ~Holder() { KivSafeRelease(p); }
    } hold{pStor};

    KivFilterSet types;
    if (KivResult rc = m_backstage.GetFilterResult(&types); KivFailed(rc)) return rc;
    // The medium is named in the session file as it is before the scan reads it.
    CKivScanSession::Medium medium;
    if (!m_strSaveFile.empty() && !CKivScanSession::IdentifyMedium(pStor, strPath, &medium, &m_strSessionError)) {
        m_bNotBegun = true;
        return KIV_RETERR(KIV_E_IO);
    }
    m_backstage.ScanReset();
    IKivScanDev* pEngine = nullptr;
    if (KivResult rc = m_backstage.GetScanData(&pEngine); KivFailed(rc)) return rc;

    uint64_t nSectorSize = pStor->GetSectorSize() ? pStor->GetSectorSize() : 512;
    uint64_t nBlockBytes = KivScanBlockBytes(nSectorSize);
    m_scan.SetDevice(nBlockBytes, pStor->GetSectorCount() * nSectorSize);
    if (KivResult rc = m_backstage.InitScanEngine(pStor); KivFailed(rc)) return rc;
    m_backstage.SetScanMediumPath(strPath);

    KivFilterSettings settings;
    settings.nMode = types.nMode;
    for (const std::string& e : types.exts) settings.exts.push_back(e.c_str());
    m_backstage.SetScanTypes(TypesText(types));
    if (m_strSaveFile.empty()) return Run(pEngine, settings, nullptr);
    CKivSessionSaver saver(m_strSaveFile, medium, m_strSaveTypes, pStor, m_dSaveEvery);
    KivResult rc = Run(pEngine, settings, &saver);
    m_strSessionError = saver.FirstError();
    return rc;
}

std::string CProgressScan::TypesText(const KivFilterSet& types) {
    if (types.nMode == 2) return {};
    std::string s;
    for (const std::string& e : types.exts) s += (s.empty() ? "" : ",") + e;
    // As a session file names them; the command line's --types takes only lists of types.
    return types.nMode == 1 ? "all except " + s : s;
}

bool CProgressScan::CanKeepScan() {
    std::vector<CKivScanResPart*> found;
    KivFilterSet types;
    if (!m_backstage.GetResumeSession().strFile.empty() || KivFailed(m_backstage.GetScanResult(&found)) ||
        found.empty() || KivFailed(m_backstage.GetFilterResult(&types)) ||
        TypesText(types) != m_backstage.GetScanTypes())
        return false;
    IKivDevStor* pScanned = m_backstage.GetScanDevice();
    if (!pScanned) return false;
    if (IKivDevStor* p = m_backstage.GetDirectDevice()) return p == pScanned;
    // The list as the device page showed it, not refreshed: the engine still reads through its
    // records. The same path and size is the same medium; GetSelectedDev checks again before a scan.
    bool bDisks = m_backstage.GetDevMode() == 0;
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    uint32_t nIndex = 0;
    if (KivFailed(m_backstage.GetEnumDevResult(&disks, &parts, &nIndex)) ||
        nIndex >= (bDisks ? disks.size() : parts.size()))
        return false;
    IKivDevStor* pStor = bDisks ? disks[nIndex].pStor : parts[nIndex].pDevice;
    IKivDevDisk* pDisk = bDisks ? disks[nIndex].pDisk : parts[nIndex].extents[0].pDisk;
    const char* pszDev = bDisks ? "" : parts[nIndex].szDevPath;
    std::string strPath = pszDev[0] ? std::string(pszDev, strnlen(pszDev, sizeof parts[nIndex].szDevPath))
                          : pDisk   ? std::string(pDisk->GetPath())
                                    : std::string();
    return pStor && !strPath.empty() && strPath == m_backstage.GetScanMediumPath() &&
           pStor->GetSectorCount() == pScanned->GetSectorCount() && pStor->GetSectorSize() == pScanned->GetSectorSize();
}

KivResult CProgressScan::GoOn() {
    // Taken whole: the back-stage forgets the pending resume before the scan runs.
    CDataBackstage::ResumeInfo info = m_backstage.GetResumeSession();
    m_backstage.SetResumeSession({});
    IKivDevStor* pStor = m_backstage.GetScanDevice();
    IKivScanDev* pEngine = nullptr;
    if (!pStor) return KIV_RETERR(KIV_E_STATE);
    if (KivResult rc = m_backstage.GetScanData(&pEngine); KivFailed(rc)) return rc;
    uint64_t nSectorSize = pStor->GetSectorSize() ? pStor->GetSectorSize() : 512;
    m_scan.SetDevice(KivScanBlockBytes(nSectorSize), pStor->GetSectorCount() * nSectorSize);

    CKivSessionSaver saver(info.strFile, info.medium, info.strTypes, pStor, m_dSaveEvery);
    // The engine goes on with the filter it saved; these settings are not looked at.
    KivResult rc = Run(pEngine, KivFilterSettings{}, &saver);
    m_strSessionError = saver.FirstError();
    if (!m_strSessionError.empty()) KivLogW(0, L"the session could not be saved");
    return rc;
}

KivResult CProgressScan::Run(IKivScanDev* pEngine, const KivFilterSettings& settings, CKivSessionSaver* pSaver) {
    m_nFirstBlock = 0;
    pEngine->GetScanPosition(&m_nFirstBlock, nullptr, nullptr);
    if (pSaver && m_fnAfterSave) pSaver->SetAfterSave(m_fnAfterSave);
    // The saver lives no longer than this call.
    struct Unhook {
        IKivScanDev* p;
        ~Unhook() {
            if (p) p->SetCheckpointSink(nullptr);
        }
    } unhook{pSaver ? pEngine : nullptr};
    if (pSaver) pEngine->SetCheckpointSink(pSaver);
    if (KivResult rc = pEngine->DoScan(&settings, &m_scan); KivFailed(rc)) return KIV_LOGERR(rc);
    KivResult rc = KivWaitPumping([pEngine](uint32_t ms) { return pEngine->WaitForScanEnd(ms); });
    if (KivFailed(rc)) return KIV_LOGERR(rc);

    return m_backstage.TakeEngineResult();
}

bool CProgressScan::AskStop(IKivPrompt& prompt) {
    if (!prompt.AskYesNo(KIV_ASK_STOP, KivHintText("DlgProgScan", "TxtCancel"))) return false;
    RequestStop();
    return true;
}
