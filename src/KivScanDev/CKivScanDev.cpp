#include "CKivScanDev.h"

#include <cstdio>
#include <exception>

#include "CKivFileRecover.h"
#include "KivAllocGuard.h"
#include "KivLog.h"
#include "KivPartSelection.h"
#include "KivScanConfig.h"
#include "Analysers/KivAnalyserTable.h"
#include "Model/CKivFileAttrRAW.h"
#include "Model/CKivMemStream.h"
#include "Model/CSectorRangeMask.h"
#include "Model/KivEngineFilter.h"
#include "Model/KivNodeFactory.h"
#include "Model/KivScanSettings.h"
#include "Model/RawTypeTable.h"
#include "Raw/KivRawTree.h"
#include "Storage/CKivRetryStor.h"
#include "platform/KivPlatform.h"

std::vector<CKivScanDev::ScannerMaker> CKivScanDev::MakersOf(const KivScannerSet& set) {
    std::vector<ScannerMaker> makers;
    if (set.bFat) makers.emplace_back(CreateFatScanner);
    if (set.bNtfs) makers.emplace_back(CreateNtfsScanner);
    if (set.bExFat) makers.emplace_back(CreateExFatScanner);
    if (set.bExt) makers.emplace_back(CreateExtScanner);
    if (set.bRaw) makers.emplace_back(CreateRawScanner);
    return makers;
}

CKivScanDev::CKivScanDev() : CKivScanDev(MakersOf(KivReadScannerSet())) {}

CKivScanDev::CKivScanDev(std::vector<ScannerMaker> makers) : m_makers(std::move(makers)) { KivInstallAllocGuard(); }

CKivScanDev::~CKivScanDev() {
    if (m_pStor) Uninit();
}

KivResult CKivScanDev::Init(IKivDevStor* pStor) {
    if (m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pStor) return KIV_RETERR(KIV_E_INVALIDARG);
    m_pStor = pStor;
    KivResult rc = InitFsScan();
    if (KivFailed(rc)) {
        ReleaseScanners();
        m_pStor = nullptr;
        return KIV_LOGERR(rc);
    }
    m_pStor->AddRef();
    return KIV_OK;
}

KivResult CKivScanDev::InitFsScan() {
    for (const ScannerMaker& make : m_makers) {
        IKivFsScanner* pScanner = nullptr;
        try {
            pScanner = make();
        } catch (const std::exception& e) {
            KivLogA(0, "CKivScanDev::InitFsScan: a scanner could not be made: %s", e.what());
        }
        // A scanner that is not available leaves the others to do the scan.
        if (!pScanner) continue;
        KivResult rc = AddFsScanner(pScanner);
        if (KivFailed(rc)) return rc;
    }
    m_rawFiles.Clear();
    for (IKivFsScanner* p : m_scanners) p->SetRawFileList(&m_rawFiles);
    return KIV_OK;
}

KivResult CKivScanDev::AddFsScanner(IKivFsScanner* pScanner) {
    if (!pScanner) return KIV_RETERR(KIV_E_INVALIDARG);
    m_scanners.push_back(pScanner);
    return KIV_OK;
}

void CKivScanDev::ReleaseScanners() {
    for (IKivFsScanner* p : m_scanners) p->Release();
    m_scanners.clear();
}

KivResult CKivScanDev::Uninit() {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    // Nothing may run on the scanners or the device once they are gone.
    m_scan.RequestStop();
    m_scan.Wait(0);
    if (m_pRecover) {
        m_pRecover->WaitForRecoverEnd(0);
        m_pRecover.reset();
    }
    ReleaseScanners();
    m_rawFiles.Clear();
    KivSafeRelease(m_pStor);
    return KIV_OK;
}

KivResult CKivScanDev::DoScan(const KivFilterSettings* pFilter, IKivScanCallBack* pCallback) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pCallback) return KIV_RETERR(KIV_E_INVALIDARG);
    // One pass at a time: the scanners keep the state of the running one.
    if (m_scan.HasThread() && !m_scan.Wait(1)) return KIV_RETERR(KIV_E_STATE);

    // A finished scan taken over needs no pass.
    if (m_bLoadedComplete) return KIV_RETERR(KIV_E_STATE);

    uint64_t nStart = KivReadScanStartSector();
    if (m_pResume) {
        // The scan goes on as it began: its own filter, from the block after the last one done.
        ApplyFilter(m_pResume->nFilterMode, m_pResume->filterExts);
        nStart = m_pResume->nBlocksDone * m_pResume->nBlockSectors;
        std::shared_ptr<CKivScanState> pState(std::move(m_pResume));
        m_scan.SetResume(
            [this, pState] {
                BindAnalysers();
                return KivSucceeded(RestoreScanners(*pState));
            },
            pState->stats);
    } else {
        std::vector<std::string> exts;
        if (pFilter)
            for (const char* p : pFilter->exts)
                if (p) exts.emplace_back(p);
        ApplyFilter(pFilter ? pFilter->nMode : CKivExtFilterEx::MODE_ALL, exts);
        m_scan.SetResume(nullptr, nullptr);
    }
    m_stopState.clear();
    if (m_pSink)
        m_scan.SetCheckpoints([this](uint64_t n) { return m_pSink->WantCheckpoint(n) != 0; },
                              [this](uint64_t n, int nKind) { TakeCheckpoint(n, nKind); });
    else
        m_scan.SetCheckpoints(nullptr, [this](uint64_t n, int nKind) {
            // Without a sink only a stopped pass is kept, for SaveScanState.
            if (nKind == CKivScanThread::kCheckpointStopped) TakeCheckpoint(n, nKind);
        });

    m_bScanned = true;
    if (!m_scan.Start(m_pStor, m_scanners, pCallback, nStart)) return KIV_RETERR(KIV_E_BIND);
    return KIV_OK;
}

void CKivScanDev::ApplyFilter(int32_t nMode, const std::vector<std::string>& exts) {
    CKivExtFilterEx& filter = KivEngineFilter();
    filter.SetMode(nMode);
    filter.SetExts(exts);
    m_nFilterMode = nMode;
    m_filterExts = exts;
    KivScanSettings& settings = KivScanSettings::Get();
    settings.selectedTypeIds = filter.SelectedTypeIds();
    for (uint32_t nId : settings.selectedTypeIds)
        KivLogA(0, "Scan type %u: %s", nId, RawTypeTable::Get().GetExt(nId).c_str());
}

void CKivScanDev::BindAnalysers() {
    const RawAnalyserRegistry& reg = RawAnalyserRegistry::Get();
    for (size_t i = 0; i < m_rawFiles.Size(); ++i) {
        CRawFileInfo* p = m_rawFiles.At(i);
        p->m_pAnalyser = reg.FindById(static_cast<int32_t>(p->m_nAnalyserId));
    }
}

KivResult CKivScanDev::WriteState(IKivStream* pStream, uint64_t nDone, uint64_t nBlocks, bool bComplete) {
    CKivScanState st;
    st.nSectorSize = m_pStor->GetSectorSize();
    st.nSectorCount = m_pStor->GetSectorCount();
    st.nBlockSectors = CKivScanThread::BlockSectors(st.nSectorSize);
    st.nBlocksDone = nDone;
    st.nBlocks = nBlocks;
    st.bComplete = bComplete;
    st.nFilterMode = m_nFilterMode;
    st.filterExts = m_filterExts;
    std::copy(m_scan.Stats(), m_scan.Stats() + KIV_SCAN_STAT_COUNT, st.stats);
    for (IKivFsScanner* p : m_scanners) {
        CKivMemStream ms;
        KivResult rc = p->SaveState(&ms);
        if (KivFailed(rc)) return KIV_LOGERR(rc);
        st.scanners.push_back({p->GetScannerType(), ms.Data()});
    }
    return st.Save(pStream, &m_rawFiles);
}

void CKivScanDev::TakeCheckpoint(uint64_t nDone, int nKind) {
    try {
        CKivMemStream ms;
        bool bComplete = nKind == CKivScanThread::kCheckpointComplete;
        if (KivFailed(WriteState(&ms, nDone, m_scan.BlockCount(), bComplete))) return;
        if (m_pSink) m_pSink->OnCheckpoint(ms.Data().data(), ms.Size(), nDone, bComplete ? 1 : 0);
        if (nKind == CKivScanThread::kCheckpointStopped) m_stopState = ms.Data();
    } catch (const std::exception& e) {
        // A checkpoint that cannot be made leaves the scan itself alone.
        KivLogA(0, "CKivScanDev: the scan state could not be taken: %s", e.what());
    }
}

KivResult CKivScanDev::RestoreScanners(const CKivScanState& st) {
    for (size_t i = 0; i < m_scanners.size(); ++i) {
        CKivMemStream ms(st.scanners[i].bytes);
        KivResult rc = m_scanners[i]->LoadState(&ms);
        if (KivFailed(rc)) return KIV_LOGERR(rc);
        // Every byte belongs to the scanner: one that reads less is not the one that wrote it.
        if (ms.ReadPos() != ms.Size()) return KIV_RETERR(KIV_E_IO);
    }
    return KIV_OK;
}

KivResult CKivScanDev::SetCheckpointSink(IKivScanCheckpoint* pSink) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (m_scan.HasThread() && !m_scan.Wait(1)) return KIV_RETERR(KIV_E_STATE);
    m_pSink = pSink;
    return KIV_OK;
}

KivResult CKivScanDev::SaveScanState(IKivStream* pStream) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pStream) return KIV_RETERR(KIV_E_INVALIDARG);
    if (m_scan.HasThread() && !m_scan.Wait(1)) return KIV_RETERR(KIV_E_STATE);
    try {
        if (!m_stopState.empty()) {
            const std::vector<uint8_t>& v = m_stopState;
            for (size_t off = 0; off < v.size(); off += 1u << 30)
                if (!pStream->Write(v.data() + off, uint32_t(std::min<size_t>(v.size() - off, 1u << 30))))
                    return KIV_RETERR(KIV_E_IO);
            return KIV_OK;
        }
        if (m_pResume) {
            // Taken over but not gone on with yet: the same state again.
            CKivScanState st = *m_pResume;
            return st.Save(pStream, &m_rawFiles);
        }
        if (!m_bLoadedComplete && !m_scan.Completed()) return KIV_RETERR(KIV_E_STATE);
        uint64_t n = m_scan.BlockCount();
        return WriteState(pStream, n, n, true);
    } catch (const std::exception& e) {
        KivLogA(0, "CKivScanDev::SaveScanState: %s", e.what());
        return KIV_RETERR(KIV_E_NOOBJ);
    }
}

KivResult CKivScanDev::LoadScanState(IKivStream* pStream) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pStream) return KIV_RETERR(KIV_E_INVALIDARG);
    if (m_bScanned || m_pResume) return KIV_RETERR(KIV_E_STATE);
    try {
        auto pState = std::make_unique<CKivScanState>();
        KivResult rc = pState->Load(pStream, &m_rawFiles);
        if (KivFailed(rc)) return KIV_LOGERR(rc);
        const CKivScanState& st = *pState;
        uint32_t nSize = m_pStor->GetSectorSize();
        uint64_t nSectors = m_pStor->GetSectorCount();
        uint32_t nBlock = CKivScanThread::BlockSectors(nSize);
        bool bSame = st.nSectorSize == nSize && st.nSectorCount == nSectors && st.nBlockSectors == nBlock &&
                     st.nBlocks == nSectors / nBlock + (nSectors % nBlock ? 1 : 0) &&
                     st.scanners.size() == m_scanners.size() && (st.bComplete == (st.nBlocksDone == st.nBlocks));
        for (size_t i = 0; bSame && i < m_scanners.size(); ++i)
            bSame = st.scanners[i].nType == m_scanners[i]->GetScannerType();
        if (!bSame) {
            m_rawFiles.Clear();
            return KIV_RETERR(KIV_E_STATE);
        }
        if (!st.bComplete) {
            m_pResume = std::move(pState);
            return KIV_OK;
        }
        ApplyFilter(st.nFilterMode, st.filterExts);
        RawAnalyserRegistry::Get().Rebuild(KivScanSettings::Get().selectedTypeIds);
        BindAnalysers();
        for (IKivFsScanner* p : m_scanners) {
            p->SetStorage(m_pStor);
            p->SetBlockSectors(nBlock);
        }
        rc = RestoreScanners(st);
        if (KivFailed(rc)) {
            m_rawFiles.Clear();
            // The scanners may hold part of the state: this engine can no longer scan cleanly.
            m_bScanned = true;
            return KIV_LOGERR(rc);
        }
        m_scan.SetStats(st.stats);
        m_scan.SetPosition(st.nBlocks, st.nBlocks, true);
        m_bScanned = true;
        m_bLoadedComplete = true;
        return KIV_OK;
    } catch (const std::exception& e) {
        KivLogA(0, "CKivScanDev::LoadScanState: %s", e.what());
        m_rawFiles.Clear();
        return KIV_RETERR(KIV_E_NOOBJ);
    }
}

KivResult CKivScanDev::GetScanPosition(uint64_t* pDone, uint64_t* pTotal, int* pComplete) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    uint64_t nDone = m_scan.BlocksDone(), nTotal = m_scan.BlockCount();
    bool bComplete = m_scan.Completed();
    if (m_pResume) {
        nDone = m_pResume->nBlocksDone;
        nTotal = m_pResume->nBlocks;
        bComplete = false;
    }
    if (pDone) *pDone = nDone;
    if (pTotal) *pTotal = nTotal;
    if (pComplete) *pComplete = bComplete ? 1 : 0;
    return KIV_OK;
}

KivResult CKivScanDev::WaitForScanEnd(uint32_t nMs) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (!m_scan.Wait(nMs)) return KIV_ERR(KIV_E_TIMEOUT);
    return KIV_OK;
}

KivResult CKivScanDev::StopScan() {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    m_scan.RequestStop();
    m_scan.Wait(0);
    return KIV_OK;
}

KivResult CKivScanDev::EnumResParts(std::vector<CKivScanResPart*>* pList) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pList) return KIV_RETERR(KIV_E_INVALIDARG);
    // The scanners' findings are complete, and theirs alone to touch, only once the pass has ended.
    if (!m_scan.Wait(1)) return KIV_RETERR(KIV_E_STATE);
    std::vector<CKivScanResPart*> found;
    try {
        for (IKivFsScanner* p : m_scanners) p->EnumParts(&found);
    } catch (const std::exception& e) {
        KivLogA(0, "CKivScanDev::EnumResParts: %s", e.what());
        for (CKivScanResPart* p : found) delete p;
        return KIV_RETERR(KIV_E_NOOBJ);
    }
    // A partition is only selected when the scanner that builds its tree can build one.
    auto hasTree = [this](CKivScanResPart* p) {
        for (IKivFsScanner* pScanner : m_scanners)
            if (pScanner->CanHandle(p->m_nType)) return pScanner->HasTree(p, m_pStor) != 0;
        return false;
    };
    try {
        KivScoreAndSelectParts(found, m_pStor->GetSectorCount(), hasTree);
    } catch (const std::exception& e) {
        KivLogA(0, "CKivScanDev::EnumResParts: %s", e.what());
        for (CKivScanResPart* p : found) delete p;
        return KIV_RETERR(KIV_E_NOOBJ);
    }
    pList->insert(pList->end(), found.begin(), found.end());
    return KIV_OK;
}

IKivFsNode* CKivScanDev::BuildRawNode(const char* pszName, IIsClusterUsed* pUsed, IKivEnumResFilesCallback* pCallback) {
    CKivRetryStor* pDev = new CKivRetryStor(m_pStor);
    IKivFileNode* pCarved = BuildRawTree(pUsed, pCallback, pDev, &m_rawFiles);
    pDev->Release();
    if (!pCarved) return nullptr;
    if (!pCarved->GetFirstChild()) {
        pCarved->Release();
        return nullptr;
    }
    auto* pAttr = new CKivFileAttrRAW;
    pAttr->SetName(pszName);
    pAttr->SetTypeText("RAW");
    pAttr->SetAttributes(KIV_FA_DIRECTORY);
    IKivFsNode* pPart = KivNewFsNode(pAttr);
    // Carved runs count sectors from the start of the device.
    pPart->SetPartInfo(0, 1);
    pPart->SetFsType(KIV_FS_RAW);
    pPart->AddChild(pCarved);
    return pPart;
}

KivResult CKivScanDev::EnumResFiles(uint32_t nNameBase, std::vector<CKivScanResPart*>* pList,
                                    IKivEnumResFilesCallback* pCallback, IKivFsNode** ppRoot) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pCallback || !ppRoot || !pList) return KIV_RETERR(KIV_E_INVALIDARG);
    *ppRoot = nullptr;
    if (!m_scan.Wait(1)) return KIV_RETERR(KIV_E_STATE);
    // Without any partition the carved files still make a tree of their own.
    if (pList->empty() && m_rawFiles.Size() == 0) return KIV_RETERR(KIV_E_INVALIDARG);

    IKivFsNode* pRoot = KivNewFsRoot();
    if (!pRoot) return KIV_RETERR(KIV_E_NOOBJ);
    // The trees are read through a view that tries again what the scan wrote off untried.
    struct View {
        CKivRetryStor* p;
        ~View() { p->Release(); }
    } view{new CKivRetryStor(m_pStor)};
    bool bAdded = false;
    // What the partition trees cover: each lists the carved files of its own free space.
    CSectorRangeMask covered;
    try {
        for (CKivScanResPart* pPart : *pList) {
            if (pPart->m_nSelected != 1) continue;
            for (IKivFsScanner* pScanner : m_scanners) {
                if (!pScanner->CanHandle(pPart->m_nType)) continue;
                if (IKivFsNode* pNode = pScanner->BuildTree(pPart, view.p, nNameBase, pCallback)) {
                    pRoot->AddChild(pNode);
                    covered.Add(pPart->m_nFirstSector, pPart->m_nSectorCount);
                    bAdded = true;
                } else if (pCallback->IsCancelled() != -1) {
                    pPart->m_nSelected = 0;  // selected means: its tree is in the result
                }
                break;
            }
            if (pCallback->IsCancelled() == -1) break;
        }
        if (m_rawFiles.Size() && pCallback->IsCancelled() != -1) {
            // Carved files in unpartitioned space, after the last partition or in the area of a
            // partition not kept would otherwise be listed nowhere.
            IKivFsNode* pNode = nullptr;
            if (!bAdded) {
                char szName[32];
                std::snprintf(szName, sizeof szName, "RAW %u", nNameBase + 1);
                pNode = BuildRawNode(szName, nullptr, pCallback);
            } else {
                pNode = BuildRawNode(KIV_NAME_OUTSIDE_PARTS, &covered, pCallback);
            }
            if (pNode) {
                pRoot->AddChild(pNode);
                bAdded = true;
            }
        }
    } catch (const std::exception& e) {
        KivLogA(0, "CKivScanDev::EnumResFiles: %s", e.what());
        pRoot->Release();
        return KIV_RETERR(KIV_E_NOOBJ);
    }
    if (!bAdded) {
        pRoot->Release();
        return KIV_RETERR(KIV_E_NOTREE);
    }
    *ppRoot = pRoot;
    return KIV_OK;
}

KivResult CKivScanDev::SetPumpHook(KivPumpHook pfnHook) {
    KivSetPumpHook(pfnHook);
    return KIV_OK;
}

CKivFileRecover* CKivScanDev::Recoverer() {
    if (!m_pRecover) {
        m_pRecover = std::make_unique<CKivFileRecover>();
        m_pRecover->SetDevice(m_pStor);
    }
    return m_pRecover.get();
}

KivResult CKivScanDev::DoRecoverFile(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback,
                                     const char* pszDestFile) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    return Recoverer()->DoRecoverFile(pNode, pCallback, pszDestFile);
}

KivResult CKivScanDev::DoRecoverDir(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback, const char* pszDestDir,
                                    char* pszCreated, uint32_t nCreatedSize) {
    if (!m_pStor) return KIV_RETERR(KIV_E_INITSTATE);
    return Recoverer()->DoRecoverDir(pNode, pCallback, pszDestDir, pszCreated, nCreatedSize);
}

KivResult CKivScanDev::WaitForRecoverEnd(uint32_t nMs) {
    if (!m_pRecover) return KIV_RETERR(KIV_E_STATE);
    return m_pRecover->WaitForRecoverEnd(nMs);
}
