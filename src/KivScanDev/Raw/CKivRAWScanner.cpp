#include "Raw/CKivRAWScanner.h"

#include <cstring>
#include <new>
#include <unordered_map>

#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivAnalyserTable.h"
#include "KivLog.h"
#include "Model/CKivStateIO.h"
#include "Model/KivScanSettings.h"
#include "Raw/CustomFileAnalyser.h"
#include "Storage/CKivDevStorCache.h"

IKivFsScanner* CreateRawScanner() { return new (std::nothrow) CKivRAWScanner(); }

// Defined beside the scanner factory, which every deliverable links, so that it overrides the
// analyser table's weak default wherever the scanner is present.
IRawFileAnalyser* CreateCustomFileAnalyser() { return new (std::nothrow) CustomFileAnalyser(); }

int CKivRAWScanner::BeginScan() {
    EndScan();
    try {
        RawAnalyserRegistry& reg = RawAnalyserRegistry::Get();
        reg.Rebuild(KivScanSettings::Get().selectedTypeIds);
        if (!m_pStor || !m_pRawList || m_nBlockSectors == 0) return KIV_RETERR(KIV_E_STATE);
        // Nothing to carve: no ring.
        if (reg.Size() == 0) return KIV_OK;
        m_nSectorSize = m_pStor->GetSectorSize() > 0 ? m_pStor->GetSectorSize() : 512;
        if (!m_ring.Init(m_pStor, 0, m_nSectorSize, m_nBlockSectors, kRingBlocks)) return KIV_RETERR(KIV_E_NOOBJ);
        m_pFresh = std::make_unique<CRawFileInfo>();
        m_bActive = true;
        return KIV_OK;
    } catch (const std::exception& e) {
        KivLogA(0, "CKivRAWScanner::BeginScan: %s", e.what());
        EndScan();
        return KIV_RETERR(KIV_E_NOOBJ);
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
    if (!m_bActive) return KIV_OK;
    if (nCount > m_nBlockSectors) nCount = m_nBlockSectors;
    if (nCount == 0) return KIV_OK;
    KivScanBlock b;
    std::shared_ptr<uint8_t> pOwn;
    if (auto* pCache = dynamic_cast<CKivDevStorCache*>(m_pStor);
        !pCache || !pCache->GetCurBlock(&b) || b.nFirst != nFirst || b.nCount < nCount) {
        // Outside the scan's cache the block is read into a buffer the ring then keeps.
        try {
            pOwn = m_ring.SpareBlock();
        } catch (const std::exception& e) {
            KivLogA(0, "CKivRAWScanner::AnalyzeBlock: %s", e.what());
            return KIV_RETERR(KIV_E_NOOBJ);
        }
        if (!m_pStor->ReadSectors(pOwn.get(), nFirst, nCount)) return KIV_RETERR(KIV_E_IO);
        // A short last block: the ring must not see an older block's tail as data.
        std::memset(pOwn.get() + nCount * m_nSectorSize, 0, (m_nBlockSectors - nCount) * m_nSectorSize);
        b = KivScanBlock{};
        b.nFirst = nFirst;
        b.nSectorSize = m_nSectorSize;
        b.pData = pOwn.get();
        b.nBlockSectors = m_nBlockSectors;
        b.hold = pOwn;
    }
    b.nCount = nCount;
    return AnalyzeView(b, pStats);
}

int CKivRAWScanner::AnalyzeView(const KivScanBlock& block, uint64_t* pStats) {
    if (!m_bActive) return KIV_OK;
    const uint64_t nFirst = block.nFirst;
    const uint64_t nCount = std::min<uint64_t>(block.nCount, m_nBlockSectors);
    if (nCount == 0) return KIV_OK;
    if (block.nSectorSize != m_nSectorSize) return KIV_RETERR(KIV_E_STATE);
    try {
        if (!block.bZeros) {
            const KivAnalyserDispatch& dispatch = RawAnalyserRegistry::Get().Dispatch();
            const uint8_t* pBlock = block.pData;
            for (uint64_t i = 0; i < nCount; ++i) {
                const uint8_t* p = pBlock + i * m_nSectorSize;
                if ((p[0] | p[1] | p[2] | p[3]) == 0) continue;
                IRawFileAnalyser* pHit = dispatch.Find({p, m_nSectorSize}, m_pFresh.get());
                if (!pHit) continue;
                m_pFresh->m_nStartSector = nFirst + i;
                m_pFresh->m_pAnalyser = pHit;
                m_pFresh->m_nAnalyserId = static_cast<uint32_t>(pHit->GetId());
                CRawFileInfo* pInfo = m_pRawList->Add(std::move(*m_pFresh));
                if (pStats) {
                    ++pStats[kStatFilesFound];
                    ++pStats[KIV_STAT_ITEMS_FOUND];
                }
                if (pInfo->m_nSize == 0) m_pending.push_back(pInfo);
                *m_pFresh = CRawFileInfo();
            }
        }
        MeasurePending();
        m_ring.PushShared(block.hold, block.pData, nFirst, nCount);
        TrimRing();
    } catch (const std::exception& e) {
        KivLogA(0, "CKivRAWScanner::AnalyzeBlock at sector %llu: %s", static_cast<unsigned long long>(nFirst),
                e.what());
        return KIV_RETERR(KIV_E_STATE);
    }
    return KIV_OK;
}

int CKivRAWScanner::AnalyzeZeros(uint64_t nFirst, uint64_t nEnd, const KivScanBlock& zeros, uint64_t* pStats) {
    if (!m_bActive) return KIV_OK;
    // No sector of zeros starts a file (each is passed over on its first four bytes); the blocks
    // still go through the ring, so that pending files are measured as they would be.
    KivScanBlock b = zeros;
    b.bZeros = true;
    for (uint64_t s = nFirst; s < nEnd; s += m_nBlockSectors) {
        b.nFirst = s;
        b.nCount = std::min<uint64_t>(m_nBlockSectors, nEnd - s);
        int rc = AnalyzeView(b, pStats);
        if (KivFailed(static_cast<KivResult>(rc))) return rc;
    }
    return KIV_OK;
}

// A pending file is measured once the block holding its start is the oldest of a full ring, so
// that the 19 blocks after it are in memory.
void CKivRAWScanner::MeasurePending() {
    while (m_ring.IsFull() && !m_pending.empty()) {
        CRawFileInfo* pInfo = m_pending.front();
        if (pInfo->m_nStartSector > m_ring.GetFirstHeld() + m_nBlockSectors - 1) break;
        m_pending.pop_front();
        pInfo->m_nDamage = kCarveWhole;
        try {
            pInfo->m_pAnalyser->MeasureFile(pInfo, &m_ring);
        } catch (...) {
            // A failed measurement leaves the record as the analyser left it.
        }
    }
}

void CKivRAWScanner::TrimRing() {
    // Measuring reads a file from its first sector on: what lies before the oldest pending file is
    // never read again.
    uint64_t nFrom = m_pending.empty() ? m_ring.GetFirstHeld() + m_ring.GetHeld() : m_pending.front()->m_nStartSector;
    m_ring.Trim(nFrom, m_nRingData);
}

int CKivRAWScanner::SaveState(IKivStream* pStream) {
    if (!pStream) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivStateIO io = CKivStateIO::Saver(pStream);
    // Pending files are the latest found: look for them from the end of the list.
    std::unordered_map<const CRawFileInfo*, uint64_t> where;
    for (const CRawFileInfo* p : m_pending) where.emplace(p, ~0ull);
    size_t nLeft = where.size();
    for (size_t i = m_pRawList ? m_pRawList->Size() : 0; i-- > 0 && nLeft;) {
        auto it = where.find(m_pRawList->At(i));
        if (it != where.end() && it->second == ~0ull) {
            it->second = i;
            --nLeft;
        }
    }
    if (nLeft) return KIV_RETERR(KIV_E_STATE);
    std::vector<uint64_t> idx;
    idx.reserve(m_pending.size());
    for (const CRawFileInfo* p : m_pending) idx.push_back(where[p]);
    uint64_t nFirstHeld = m_bActive ? m_ring.GetFirstHeld() : 0, nHeld = m_bActive ? m_ring.GetHeld() : 0;
    io.Vec(idx)(nFirstHeld)(nHeld);
    return io.Ok() ? KIV_OK : KIV_RETERR(KIV_E_IO);
}

int CKivRAWScanner::LoadState(IKivStream* pStream) {
    if (!pStream) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivStateIO io = CKivStateIO::Loader(pStream);
    std::vector<uint64_t> idx;
    uint64_t nFirstHeld = 0, nHeld = 0;
    io.Vec(idx)(nFirstHeld)(nHeld);
    if (!io.Ok()) return KIV_RETERR(KIV_E_IO);
    m_pending.clear();
    for (uint64_t i : idx) {
        if (!m_pRawList || i >= m_pRawList->Size()) return KIV_RETERR(KIV_E_IO);
        m_pending.push_back(m_pRawList->At(size_t(i)));
    }
    // Without a running pass (the results of a finished scan) there is no ring to fill.
    if (!m_bActive || nHeld == 0) return KIV_OK;
    if (nHeld > m_ring.GetCapacity() || m_nBlockSectors == 0 || nHeld % m_nBlockSectors)
        return KIV_RETERR(KIV_E_IO);
    try {
        for (uint64_t s = nFirstHeld; s < nFirstHeld + nHeld; s += m_nBlockSectors) {
            std::shared_ptr<uint8_t> pBlock = m_ring.SpareBlock();
            uint64_t nDev = m_pStor->GetSectorCount();
            uint64_t nCount = s < nDev ? std::min<uint64_t>(m_nBlockSectors, nDev - s) : 0;
            std::memset(pBlock.get(), 0, size_t(m_nBlockSectors) * m_nSectorSize);
            // An unreadable block stays zeros, as the read-ahead would have left it.
            if (nCount) m_pStor->ReadSectors(pBlock.get(), s, nCount);
            const uint8_t* p = pBlock.get();
            m_ring.PushShared(std::move(pBlock), p, s, m_nBlockSectors);
            TrimRing();
        }
    } catch (const std::exception& e) {
        KivLogA(0, "CKivRAWScanner::LoadState: %s", e.what());
        return KIV_RETERR(KIV_E_IO);
    }
    return KIV_OK;
}
