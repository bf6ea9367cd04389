#include "Raw/CKivRAWScanner.h"

#include <cstring>
#include <new>

#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivAnalyserTable.h"
#include "KivLog.h"
#include "Model/KivScanSettings.h"
#include "Raw/CustomFileAnalyser.h"

IKivFsScanner* CreateRawScanner() { return new (std::nothrow) CKivRAWScanner(); }

// Defined beside the scanner factory, which every deliverable links, so that it overrides the
// analyser table's weak default wherever the scanner is present.
IRawFileAnalyser* CreateCustomFileAnalyser() { return new (std::nothrow) CustomFileAnalyser(); }

int CKivRAWScanner::SetStorage(IKivDevStor* pStor) {
    m_pDev = pStor;
    return 1;
}

int CKivRAWScanner::SetBlockSectors(uint32_t nSectors) {
    m_nBlockSectors = nSectors;
    return 1;
}

int CKivRAWScanner::SetRawFileList(CRawFileList* pList) {
    m_pList = pList;
    return 1;
}

int CKivRAWScanner::BeginScan() {
    EndScan();
    try {
        RawAnalyserRegistry& reg = RawAnalyserRegistry::Get();
        reg.Rebuild(KivScanSettings::Get().selectedTypeIds);
        if (!m_pDev || !m_pList || m_nBlockSectors == 0) {
            KIV_RETERR(KIV_E_STATE);
            return 0;
        }
        // Nothing to carve: no ring.
        if (reg.Size() == 0) return 1;
        m_nSectorSize = m_pDev->GetSectorSize() > 0 ? m_pDev->GetSectorSize() : 512;
        if (!m_ring.Init(m_pDev, 0, m_nSectorSize, m_nBlockSectors, kRingBlocks)) {
            KIV_RETERR(KIV_E_INVALIDARG);
            return 0;
        }
        m_pFresh = std::make_unique<CRawFileInfo>();
        m_bActive = true;
        return 1;
    } catch (const std::exception& e) {
        KivLogA(0, "CKivRAWScanner::BeginScan: %s", e.what());
        EndScan();
        return 0;
    }
}

int CKivRAWScanner::EndScan() {
    // Files still pending keep size 0; the tree builder measures them on the device.
    m_pending.clear();
    m_ring.Close();
    m_pFresh.reset();
    m_bActive = false;
    return 1;
}

int CKivRAWScanner::AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) {
    if (!m_bActive) return 1;
    try {
        const KivAnalyserDispatch& dispatch = RawAnalyserRegistry::Get().Dispatch();
        if (nCount > m_nBlockSectors) nCount = m_nBlockSectors;
        // The block is read straight into the ring's staging block: no copy when it is pushed.
        uint8_t* pBlock = m_ring.StagingBlock();
        if (nCount == 0 || !m_pDev->ReadSectors(pBlock, nFirst, nCount)) return 1;
        // A short last block: the ring must not see an older block's tail as data.
        std::memset(pBlock + nCount * m_nSectorSize, 0, (m_nBlockSectors - nCount) * m_nSectorSize);

        for (uint64_t i = 0; i < nCount; ++i) {
            const uint8_t* p = pBlock + i * m_nSectorSize;
            if ((p[0] | p[1] | p[2] | p[3]) == 0) continue;
            IRawFileAnalyser* pHit = dispatch.Find({p, m_nSectorSize}, m_pFresh.get());
            if (!pHit) continue;
            CRawFileInfo* pInfo = m_pFresh.release();
            pInfo->m_nStartSector = nFirst + i;
            pInfo->m_pAnalyser = pHit;
            pInfo->m_nAnalyserId = static_cast<uint32_t>(pHit->GetId());
            m_pList->Add(pInfo);
            if (pStats) {
                ++pStats[kStatFilesFound];
                ++pStats[KIV_STAT_ITEMS_FOUND];
            }
            if (pInfo->m_nSize == 0) m_pending.push_back(pInfo);
            m_pFresh = std::make_unique<CRawFileInfo>();
        }

        MeasurePending();
        m_ring.PushStaged(nFirst);
    } catch (const std::exception& e) {
        KivLogA(0, "CKivRAWScanner::AnalyzeBlock at sector %llu: %s", static_cast<unsigned long long>(nFirst),
                e.what());
    }
    return 1;
}

// A pending file is measured once the block holding its start is the oldest of a full ring, so
// that the 19 blocks after it are in memory.
void CKivRAWScanner::MeasurePending() {
    while (m_ring.IsFull() && !m_pending.empty()) {
        CRawFileInfo* pInfo = m_pending.front();
        if (pInfo->m_nStartSector > m_ring.GetFirstHeld() + m_nBlockSectors - 1) break;
        m_pending.pop_front();
        try {
            pInfo->m_pAnalyser->MeasureFile(pInfo, &m_ring);
        } catch (...) {
            // A failed measurement leaves the record as the analyser left it.
        }
    }
}
