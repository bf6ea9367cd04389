#include "CDataBackstage.h"

#include <new>

#include "CKivFileNodeMgr.h"
#include "KivLog.h"
#include "KivModuleLoader.h"
#include "platform/KivPlatform.h"

CDataBackstage& CDataBackstage::Get() {
    static CDataBackstage s_backstage;
    return s_backstage;
}

CDataBackstage::CDataBackstage() = default;

CDataBackstage::~CDataBackstage() {
    FullReset();
    SetDirectDevice(nullptr);
}

void CDataBackstage::ReleaseDeviceLists() {
    // Partition records borrow the disks of the disk records.
    KivReleasePartInfos(&m_parts);
    KivReleaseDiskInfos(&m_disks);
}

KivResult CDataBackstage::GetEnumDevData(std::vector<DiskInfo>* pDisks, std::vector<PartInfo>* pParts,
                                         IKivEnumDevEx** ppEnum, bool bRefresh) {
    if (ppEnum) *ppEnum = nullptr;
    m_nDevFailure = DEV_LIBRARY;
    if (!m_pEnum) {
        m_pEnum = static_cast<IKivEnumDevEx*>(KivLoadModule("KivEnumDevEx", KIV_IID_ENUMDEVEX));
        if (!m_pEnum) return KIV_RETERR(KIV_E_NOOBJ);
        if (m_pOpener) m_pEnum->SetDevOpener(m_pOpener);
        bRefresh = true;
    }
    if (ppEnum) *ppEnum = m_pEnum;
    m_nDevFailure = DEV_IMAGES;
    if (bRefresh) {
        ReleaseDeviceLists();
        std::vector<const char*> paths;
        for (const std::string& s : m_imagePaths) paths.push_back(s.c_str());
        if (KivResult rc = m_pEnum->SetImagePaths(paths.data(), static_cast<uint32_t>(paths.size()), m_nImageSectorSize);
            KivFailed(rc))
            return KIV_LOGERR(rc);
    }
    m_nDevFailure = DEV_DISKS;
    if (m_disks.empty())
        if (KivResult rc = m_pEnum->EnumDisk(&m_disks); KivFailed(rc)) return KIV_LOGERR(rc);
    m_nDevFailure = DEV_PARTS;
    if (m_parts.empty() && !m_disks.empty())
        if (KivResult rc = m_pEnum->EnumPart(&m_disks, &m_parts); KivFailed(rc)) return KIV_LOGERR(rc);
    m_nDevFailure = DEV_OK;
    if (pDisks) *pDisks = m_disks;
    if (pParts) *pParts = m_parts;
    return KIV_OK;
}

std::vector<KivDevProblem> CDataBackstage::GetDevProblems() const {
    std::vector<KivDevProblem> out;
    KivDevProblem p;
    for (uint32_t i = 0; m_pEnum && m_pEnum->GetProblem(i, &p); ++i) out.push_back(p);
    return out;
}

int CDataBackstage::DiskIndexOf(const IKivDevDisk* pDisk) const {
    for (size_t i = 0; i < m_disks.size(); ++i)
        if (m_disks[i].pDisk == pDisk) return static_cast<int>(i);
    return -1;
}

KivResult CDataBackstage::OpenImage(const std::string& strPath, uint32_t nSectorSize, IKivDevStor** ppStor) {
    if (!ppStor) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppStor = nullptr;
    auto* pImageDev = static_cast<IKivImageDev*>(KivLoadModule("KivEnumDevEx", "IKivImageDev"));
    if (!pImageDev) return KIV_RETERR(KIV_E_NOOBJ);
    if (m_pOpener) pImageDev->SetDevOpener(m_pOpener);
    KivResult rc = pImageDev->OpenImage(strPath.c_str(), nSectorSize, ppStor);
    pImageDev->Release();
    if (KivSucceeded(rc) && *ppStor) return KIV_OK;
    *ppStor = nullptr;
    return KivFailed(rc) ? rc : KIV_RETERR(KIV_E_NOTFOUND);
}

void CDataBackstage::SetDevOpener(IKivDevOpener* pOpener) {
    m_pOpener = pOpener;
    if (m_pEnum) m_pEnum->SetDevOpener(pOpener);
}

KivResult CDataBackstage::SetImagePaths(const std::vector<std::string>& paths, uint32_t nSectorSize) {
    m_imagePaths = paths;
    m_nImageSectorSize = nSectorSize;
    return KIV_OK;
}

KivResult CDataBackstage::SetEnumDevResult(uint32_t nIndex) {
    if (!m_pEnum || m_disks.empty()) return KIV_RETERR(KIV_E_STATE);
    m_nDevIndex = nIndex;
    return KIV_OK;
}

KivResult CDataBackstage::GetEnumDevResult(std::vector<DiskInfo>* pDisks, std::vector<PartInfo>* pParts,
                                           uint32_t* pIndex) {
    if (!m_pEnum || m_disks.empty() || m_parts.empty()) return KIV_RETERR(KIV_E_STATE);
    if (pDisks) *pDisks = m_disks;
    if (pParts) *pParts = m_parts;
    if (pIndex) *pIndex = m_nDevIndex;
    return KIV_OK;
}

void CDataBackstage::SetDirectDevice(IKivDevStor* pStor) {
    if (pStor) pStor->AddRef();
    KivSafeRelease(m_pDirectStor);
    m_pDirectStor = pStor;
}

KivResult CDataBackstage::GetFilterData(IKivFilter** ppFilter, std::vector<FilterItem>* pCatalogue) {
    if (!m_pFilter) {
        m_pFilter = static_cast<IKivFilter*>(KivLoadModule("KivFilter", KIV_IID_FILTER));
        if (!m_pFilter) return KIV_RETERR(KIV_E_NOOBJ);
    }
    if (!m_bFilterReady) {
        if (KivResult rc = m_pFilter->Init("KivFilter.ini"); KivFailed(rc)) return KIV_LOGERR(rc);
        m_bFilterReady = true;
    }
    if (m_catalogue.empty())
        if (KivResult rc = m_pFilter->EnumTypes(&m_catalogue); KivFailed(rc)) return KIV_LOGERR(rc);
    if (ppFilter) *ppFilter = m_pFilter;
    if (pCatalogue) *pCatalogue = m_catalogue;
    return KIV_OK;
}

KivResult CDataBackstage::SetFilterResult(const KivFilterSet& settings) {
    if (!m_pFilter || m_catalogue.empty()) return KIV_RETERR(KIV_E_STATE);
    m_filterResult = settings;
    return KIV_OK;
}

KivResult CDataBackstage::GetFilterResult(KivFilterSet* pSettings) const {
    if (!m_pFilter || m_catalogue.empty()) return KIV_RETERR(KIV_E_STATE);
    if (pSettings) *pSettings = m_filterResult;
    return KIV_OK;
}

KivResult CDataBackstage::GetScanData(IKivScanDev** ppEngine) {
    if (!m_pEngine) {
        m_pEngine = static_cast<IKivScanDev*>(KivLoadModule("KivScanDev", KIV_IID_SCANDEV));
        if (!m_pEngine) return KIV_RETERR(KIV_E_NOOBJ);
        // The engine's long work on our thread keeps the front end's window alive.
        m_pEngine->SetPumpHook(KivGetPumpHook());
    }
    for (CKivScanResPart* p : m_scanResult) delete p;
    m_scanResult.clear();
    if (ppEngine) *ppEngine = m_pEngine;
    return KIV_OK;
}

KivResult CDataBackstage::InitScanEngine(IKivDevStor* pStor) {
    if (!m_pEngine) return KIV_RETERR(KIV_E_STATE);
    if (KivResult rc = m_pEngine->Init(pStor); KivFailed(rc)) return KIV_LOGERR(rc);
    m_bEngineInit = true;
    if (pStor) pStor->AddRef();
    KivSafeRelease(m_pScanStor);
    m_pScanStor = pStor;
    return KIV_OK;
}

KivResult CDataBackstage::SetScanResult(std::vector<CKivScanResPart*>&& parts) {
    if (!m_pEngine) {
        for (CKivScanResPart* p : parts) delete p;
        return KIV_RETERR(KIV_E_STATE);
    }
    for (CKivScanResPart* p : m_scanResult) delete p;
    m_scanResult = std::move(parts);
    return KIV_OK;
}

KivResult CDataBackstage::TakeEngineResult() {
    if (!m_pEngine) return KIV_RETERR(KIV_E_STATE);
    std::vector<CKivScanResPart*> found;
    if (KivResult rc = m_pEngine->EnumResParts(&found); KivFailed(rc)) {
        for (CKivScanResPart* p : found) delete p;
        return KIV_LOGERR(rc);
    }
    return SetScanResult(std::move(found));
}

KivResult CDataBackstage::GetScanResult(std::vector<CKivScanResPart*>* pParts) const {
    if (!m_pEngine) return KIV_RETERR(KIV_E_STATE);
    if (pParts) *pParts = m_scanResult;
    return KIV_OK;
}

KivResult CDataBackstage::GetEnumFileData(IKivScanDev** ppEngine, CKivFileNodeMgr** ppNodeMgr) {
    if (!m_pEngine) return KIV_RETERR(KIV_E_STATE);
    if (!m_pNodeMgr) {
        m_pNodeMgr = new (std::nothrow) CKivFileNodeMgr();
        if (!m_pNodeMgr) return KIV_RETERR(KIV_E_NOOBJ);
    }
    if (ppEngine) *ppEngine = m_pEngine;
    if (ppNodeMgr) *ppNodeMgr = m_pNodeMgr;
    return KIV_OK;
}

KivResult CDataBackstage::SetEnumFileResult(CKivUiNode* pDirRoot, CKivUiNode* pTypeRoot) {
    if (!m_pEngine || !pDirRoot || !pTypeRoot) return KIV_RETERR(KIV_E_STATE);
    m_pDirRoot = pDirRoot;
    m_pTypeRoot = pTypeRoot;
    return KIV_OK;
}

KivResult CDataBackstage::GetEnumFileResult(CKivUiNode** ppDirRoot, CKivUiNode** ppTypeRoot) const {
    if (ppDirRoot) *ppDirRoot = m_pDirRoot;
    if (ppTypeRoot) *ppTypeRoot = m_pTypeRoot;
    if (!m_pEngine || !m_pDirRoot || !m_pTypeRoot) return KIV_RETERR(KIV_E_STATE);
    return KIV_OK;
}

KivResult CDataBackstage::GetRecoverData(IKivScanDev** ppEngine, CKivFileNodeMgr** ppNodeMgr) const {
    if (ppEngine) *ppEngine = m_pEngine;
    if (ppNodeMgr) *ppNodeMgr = m_pNodeMgr;
    if (!m_pEngine || !m_pNodeMgr) return KIV_RETERR(KIV_E_STATE);
    return KIV_OK;
}

void CDataBackstage::ScanReset() {
    // The trees first (they hold engine nodes), then the engine; a running scan is stopped.
    delete m_pNodeMgr;
    m_pNodeMgr = nullptr;
    m_pDirRoot = m_pTypeRoot = nullptr;
    for (CKivScanResPart* p : m_scanResult) delete p;
    m_scanResult.clear();
    if (m_pEngine && m_bEngineInit) {
        m_pEngine->StopScan();
        m_pEngine->Uninit();
    }
    m_bEngineInit = false;
    KivSafeRelease(m_pEngine);
    KivSafeRelease(m_pScanStor);
    m_strScanPath.clear();
    m_strScanTypes.clear();
    m_resume = {};
}

void CDataBackstage::FullReset() {
    ScanReset();
    m_nDevIndex = 0;
    m_nDevMode = 1;
    ReleaseDeviceLists();
    KivSafeRelease(m_pEnum);
    m_catalogue.clear();
    if (m_pFilter && m_bFilterReady) m_pFilter->Uninit();
    m_bFilterReady = false;
    KivSafeRelease(m_pFilter);
}

int CDataBackstage::RowOfImage(const std::string& strPath) {
    std::vector<DiskInfo> disks;
    std::vector<PartInfo> parts;
    GetEnumDevData(&disks, &parts, nullptr, false);
    for (size_t i = 0; i < disks.size(); ++i) {
        if (!disks[i].pDisk || strPath != disks[i].pDisk->GetPath()) continue;
        if (GetDevMode() == 0) return static_cast<int>(i);
        for (size_t j = 0; j < parts.size(); ++j)
            for (const KivPartExtent& e : parts[j].extents)
                if (e.pDisk == disks[i].pDisk) return static_cast<int>(j);
        return -1;
    }
    return -1;
}
