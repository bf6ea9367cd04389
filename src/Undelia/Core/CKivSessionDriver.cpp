#include "CKivSessionDriver.h"

#include <cstring>
#include <vector>

#include "CDataBackstage.h"
#include "CKivScanSession.h"
#include "CKivSessionSaver.h"
#include "KivFunction.h"
#include "KivLog.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"

namespace {

std::string NameOf(const std::string& strPath) {
    size_t n = strPath.find_last_of('/');
    return n == std::string::npos ? strPath : strPath.substr(n + 1);
}

bool Fits(IKivDevStor* p, uint64_t nBytes, uint32_t nSectorSize) {
    return p && p->GetSectorSize() == nSectorSize && p->GetSectorCount() * nSectorSize == nBytes;
}

}  // namespace

KivResult CKivSessionDriver::Save(const std::string& strFile, std::string* pWhy) {
    IKivScanDev* pEngine = nullptr;
    m_backstage.GetRecoverData(&pEngine, nullptr);
    IKivDevStor* pStor = m_backstage.GetScanDevice();
    if (!pEngine || !pStor) {
        if (pWhy) *pWhy = "there is no scan to save yet";
        return KIV_RETERR(KIV_E_STATE);
    }
    if (KivOutputVerdict v = m_backstage.CheckOutput(strFile, KivOutput::kSession); v.bRefused) {
        if (pWhy) *pWhy = v.strText;
        return KIV_RETERR(KIV_E_ONMEDIUM);
    }
    CKivScanSession::Medium medium;
    if (!CKivScanSession::IdentifyMedium(pStor, m_backstage.GetScanMediumPath(), &medium, pWhy) ||
        !CKivSessionSaver::SaveNow(pEngine, strFile, medium, m_backstage.GetScanTypes(), pStor, pWhy))
        return KIV_RETERR(KIV_E_IO);
    return KIV_OK;
}

IKivDevStor* CKivSessionDriver::FindMedium(const std::string& strPath, uint64_t nBytes, uint32_t nSectorSize,
                                           std::string* pWhy) {
    // The device lists first: a partition saved by its disk's path is found there too.
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    if (KivSucceeded(m_backstage.GetEnumDevData(&disks, &parts, nullptr, true))) {
        for (const DiskInfo& d : disks)
            if (d.pDisk && strPath == d.pDisk->GetPath() && Fits(d.pStor, nBytes, nSectorSize)) {
                d.pStor->AddRef();
                return d.pStor;
            }
        for (const PartInfo& p : parts) {
            IKivDevDisk* pDisk = p.extents[0].pDisk;
            bool bPath = strPath == std::string(p.szDevPath, strnlen(p.szDevPath, sizeof p.szDevPath)) ||
                         (pDisk && strPath == pDisk->GetPath());
            if (bPath && Fits(p.pDevice, nBytes, nSectorSize)) {
                p.pDevice->AddRef();
                return p.pDevice;
            }
        }
    }
    IKivDevStor* pStor = nullptr;
    KivResult rc = m_backstage.OpenImage(strPath, nSectorSize, &pStor);
    if (KivErrNo(rc) == KIV_E_NOOBJ) {
        if (pWhy) *pWhy = "the device library KivEnumDevEx cannot be loaded";
        return nullptr;
    }
    if (KivFailed(rc)) {
        if (pWhy)
            *pWhy = "the medium of the saved scan, " + strPath + ", cannot be opened (" +
                    (KivErrNo(rc) == KIV_E_NOTFOUND ? std::string("it is not there") : "error " + std::to_string(KivErrNo(rc))) +
                    "); attach it or put the image back";
        return nullptr;
    }
    return pStor;
}

KivResult CKivSessionDriver::Open(const std::string& strFile, IKivDevStor* pStor, bool* pbComplete,
                                  std::string* pWhy, const std::function<void()>& fnBeforeReset) {
    Opened opened;
    KivResult rc = Open(strFile, pStor, std::string(), false, &opened, pWhy, fnBeforeReset);
    if (pbComplete) *pbComplete = KivSucceeded(rc) && opened.bComplete;
    return rc;
}

KivResult CKivSessionDriver::Open(const std::string& strFile, IKivDevStor* pStor, const std::string& strPath,
                                  bool bReadOnly, Opened* pOpened, std::string* pWhy,
                                  const std::function<void()>& fnBeforeReset) {
    if (pOpened) *pOpened = Opened();
    CKivScanSession s;
    if (!s.Load(strFile, pWhy)) return KIV_RETERR(KIV_E_INVALIDARG);
    const CKivScanSession::Medium& saved = s.medium;
    // The path the user knows the medium by: the one it was opened from, else the saved one.
    const std::string strMedium = pStor && !strPath.empty() ? strPath : saved.strPath;
    // An unfinished scan goes on saving into its file.
    if (!s.bComplete && !bReadOnly)
        if (KivOutputVerdict v = CKivOutputGuard::Check(strMedium, strFile, KivOutput::kSession); v.bRefused) {
            if (pWhy) *pWhy = v.strText;
            return KIV_RETERR(KIV_E_ONMEDIUM);
        }
    if (pStor) {
        pStor->AddRef();
    } else if (!(pStor = FindMedium(saved.strPath, saved.nBytes, saved.nSectorSize, pWhy))) {
        return KIV_RETERR(KIV_E_NOTFOUND);
    }
    struct Holder {
        IKivDevStor* p;
        ~Holder() { KivSafeRelease(p); }
    } hold{pStor};

    // The medium is checked before the scan shown is given up.
    if (!KivCheckSessionMedium(s, strFile, pStor, strMedium, pWhy)) return KIV_RETERR(KIV_E_DEVCHANGED);
    if (fnBeforeReset) fnBeforeReset();
    m_backstage.ScanReset();
    IKivScanDev* pEngine = nullptr;
    if (KivResult rc = m_backstage.GetScanData(&pEngine); KivFailed(rc)) {
        if (pWhy) *pWhy = "the scan engine KivScanDev cannot be loaded";
        return rc;
    }
    if (KivResult rc = m_backstage.InitScanEngine(pStor); KivFailed(rc)) {
        if (pWhy) *pWhy = "the scan engine refused " + saved.strPath + " (error " + std::to_string(KivErrNo(rc)) + ")";
        m_backstage.ScanReset();
        return rc;
    }
    if (!KivTakeOverSession(s, strFile, pEngine, pStor, pWhy)) {
        m_backstage.ScanReset();
        return KIV_RETERR(KIV_E_INVALIDARG);
    }
    const CKivScanSession& taken = s;
    m_backstage.SetDirectDevice(pStor);
    m_backstage.SetScanMediumPath(strMedium);
    m_backstage.SetScanTypes(taken.strTypes);
    m_backstage.SetDevTexts({"", strMedium, KivSizeTextIec(saved.nBytes), NameOf(strFile)});
    if (pOpened) {
        pOpened->nBlocksDone = taken.nBlocksDone;
        pOpened->nBlocks = taken.nBlocks;
        pOpened->strTypes = taken.strTypes;
    }
    if (!taken.bComplete) {
        m_backstage.SetResumeSession({strFile, taken.strTypes, taken.medium});
        return KIV_OK;
    }
    if (KivResult rc = m_backstage.TakeEngineResult(); KivFailed(rc)) {
        if (pWhy) *pWhy = "the saved scan's partitions cannot be listed (error " + std::to_string(KivErrNo(rc)) + ")";
        m_backstage.ScanReset();
        return rc;
    }
    if (pOpened) pOpened->bComplete = true;
    return KIV_OK;
}
