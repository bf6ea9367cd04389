#include "CKivScanThread.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <exception>
#include <string>

#include "KivLog.h"
#include "CKivScanWorkers.h"
#include "Storage/CKivDevStorCache.h"

namespace {

const char* ScannerName(int nType) {
    switch (nType) {
        case KIV_SCANNER_NTFS: return "NTFS";
        case KIV_SCANNER_FAT: return "FAT";
        case KIV_SCANNER_RAW: return "RAW";
        case KIV_SCANNER_EXT2: return "EXT2";
        case KIV_SCANNER_EXFAT: return "exFAT";
        default: return "?";
    }
}

}  // namespace

CKivScanThread::~CKivScanThread() {
    RequestStop();
    Wait(0);
}

uint32_t CKivScanThread::BlockSectors(uint32_t nSectorSize) {
    return nSectorSize ? KivScanBlockSectors(nSectorSize) : 1;
}

bool CKivScanThread::Start(IKivDevStor* pDevice, const std::vector<IKivFsScanner*>& scanners,
                           IKivScanCallBack* pCallback, uint64_t nStartSector) {
    if (m_thread.joinable()) return false;
    m_pDevice = pDevice;
    m_scanners = scanners;
    m_pCallback = pCallback;
    m_nStartSector = nStartSector;
    m_nStop = 0;
    m_bCompleted = false;
    m_bEnded = false;
    try {
        m_thread = std::thread(&CKivScanThread::Run, this);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void CKivScanThread::SetResume(std::function<bool()> fnRestore, const uint64_t* pStats) {
    m_fnRestore = std::move(fnRestore);
    for (int i = 0; i < KIV_SCAN_STAT_COUNT; ++i) m_resumeStats[i] = pStats ? pStats[i] : 0;
}

void CKivScanThread::SetCheckpoints(std::function<bool(uint64_t)> fnWant, std::function<void(uint64_t, int)> fnTake) {
    m_fnWant = std::move(fnWant);
    m_fnTake = std::move(fnTake);
}

bool CKivScanThread::Wait(uint32_t nMs) {
    if (!m_thread.joinable()) return true;
    if (nMs) {
        std::unique_lock<std::mutex> lock(m_mtx);
        if (!m_cvEnded.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return m_bEnded; })) return false;
    }
    m_thread.join();
    return true;
}

void CKivScanThread::Run() {
    CKivDevStorCache* pCache = nullptr;
    try {
        pCache = new CKivDevStorCache(m_pDevice);
        uint32_t nBlock = BlockSectors(m_pDevice->GetSectorSize());
        // A cache that cannot read the device leaves nothing to scan: the pass does not start, so
        // that it is not taken for a scan that found nothing.
        if (!pCache->IsReady() || !pCache->SetBlockSectors(nBlock)) {
            KivLogA(0, "The device cannot be read; the scan does not start");
        } else {
            pCache->SetStopCheck([this] { return m_nStop != 0 || m_pCallback->IsCancelled(); });
            for (IKivFsScanner* p : m_scanners) p->SetStorage(pCache);
            for (IKivFsScanner* p : m_scanners) p->SetBlockSectors(nBlock);
            bool bBegun = BeginScanners();
            bool bRestored = bBegun;
            if (bBegun && m_fnRestore) {
                bRestored = m_fnRestore();
                std::copy(std::begin(m_resumeStats), std::end(m_resumeStats), m_stats);
                m_fnRestore = nullptr;
                if (!bRestored) KivLogA(0, "The saved scan state could not be restored; the scan does not start");
            }
            if (!bRestored) {
                for (IKivFsScanner* p : m_scanners) p->EndScan();
            } else {
                bool bAll = RunBlocks(pCache, nBlock);
                // The state between blocks, before the scanners wind up, is what a later pass resumes.
                if (!bAll && m_fnTake) m_fnTake(m_nDone, kCheckpointStopped);
                pCache->StopReadAhead();
                for (IKivFsScanner* p : m_scanners) p->EndScan();
                if (bAll) {
                    m_bCompleted = true;
                    if (m_fnTake) m_fnTake(m_nDone, kCheckpointComplete);
                }
            }
        }
    } catch (const std::exception& e) {
        KivLogA(0, "Scan ended by an error: %s", e.what());
    } catch (...) {
        KivLogA(0, "Scan ended by an unknown error");
    }
    m_nStop = 1;
    m_pCallback->OnScanEnd();
    KivSafeRelease(pCache);
    std::lock_guard<std::mutex> lock(m_mtx);
    m_bEnded = true;
    m_cvEnded.notify_all();
}

bool CKivScanThread::BeginScanners() {
    for (IKivFsScanner* p : m_scanners) {
        KivResult rc = KIV_E_STATE;
        try {
            rc = static_cast<KivResult>(p->BeginScan());
        } catch (const std::exception& e) {
            KivLogA(0, "%s scanner could not begin: %s", ScannerName(p->GetScannerType()), e.what());
        } catch (...) {
        }
        // A scanner that cannot begin would miss the whole device: no pass rather than a pass that
        // silently finds less.
        if (KivFailed(rc)) {
            KivLogA(0, "%s scanner could not begin (0x%08X); the scan does not start", ScannerName(p->GetScannerType()),
                    static_cast<unsigned>(rc));
            return false;
        }
    }
    return true;
}

void CKivScanThread::AnalyzeWith(IKivFsScanner* p, uint64_t nBlockIndex, const KivScanBlock& block, uint64_t nEnd,
                                 uint64_t* pStats) {
    KivResult rc = KIV_OK;
    const char* pszWhy = "";
    std::string what;
    // Each scanner answers for itself: one that fails or throws leaves the block to the others.
    try {
        if (block.bZeros)
            rc = static_cast<KivResult>(p->AnalyzeZeros(block.nFirst, nEnd, block, pStats));
        else
            rc = static_cast<KivResult>(p->AnalyzeView(block, pStats));
    } catch (const std::exception& e) {
        rc = KIV_E_STATE;
        what = e.what();
        pszWhy = what.c_str();
    } catch (...) {
        rc = KIV_E_STATE;
        pszWhy = "unknown error";
    }
    if (KivSucceeded(rc)) return;
    // The first failures say where; a failing medium must not fill the log.
    if (++m_nFailedAnalyses <= kLoggedFailures)
        KivLogA(0, "%s scanner failed on block %llu (0x%08X) %s", ScannerName(p->GetScannerType()),
                static_cast<unsigned long long>(nBlockIndex), static_cast<unsigned>(rc), pszWhy);
}

void CKivScanThread::AnalyzeAll(uint64_t nBlockIndex, const KivScanBlock& block, uint64_t nEnd) {
    if (!m_pWorkers) {
        for (IKivFsScanner* p : m_scanners) AnalyzeWith(p, nBlockIndex, block, nEnd, m_stats);
        return;
    }
    // Each scanner counts into a copy of the statistics block; the copies are put together in list
    // order, as if the scanners had run one after the other.
    const size_t n = m_scanners.size();
    for (size_t k = 0; k < n; ++k) std::copy(std::begin(m_stats), std::end(m_stats), m_scannerStats[k].begin());
    m_pWorkers->Run([&](size_t k) { AnalyzeWith(m_scanners[k], nBlockIndex, block, nEnd, m_scannerStats[k].data()); });
    uint64_t merged[KIV_SCAN_STAT_COUNT];
    for (int c = 0; c < KIV_SCAN_STAT_COUNT; ++c) {
        bool bSet = c == KIV_STAT_OTHER_SECTOR_SIZE || c == kStatSetPerBlock;
        merged[c] = m_stats[c];
        for (size_t k = 0; k < n; ++k) {
            uint64_t v = m_scannerStats[k][c];
            if (bSet)
                merged[c] = v != m_stats[c] ? v : merged[c];
            else
                merged[c] += v - m_stats[c];
        }
    }
    std::copy(std::begin(merged), std::end(merged), m_stats);
}

bool CKivScanThread::RunBlocks(CKivDevStorCache* pCache, uint32_t nBlock) {
    uint64_t nSectors = m_pDevice->GetSectorCount();
    uint64_t nBlocks = nSectors / nBlock + (nSectors % nBlock ? 1 : 0);
    uint64_t nFirstBlock = m_nStartSector / nBlock;
    m_nBlocks = nBlocks;
    m_nDone = std::min(nFirstBlock, nBlocks);
    m_nFailedAnalyses = 0;
    if (nFirstBlock < nBlocks) pCache->StartReadAhead(m_nStartSector);
    m_pCallback->SetRange(0, nBlocks);

    std::unique_ptr<CKivScanWorkers> pWorkers;
    if (m_bSideBySide && m_scanners.size() > 1) {
        pWorkers = std::make_unique<CKivScanWorkers>(m_scanners.size());
        m_scannerStats.assign(m_scanners.size(), {});
    }
    m_pWorkers = pWorkers.get();

    // Holes of a sparse medium are handed over as zeros, without a read, a whole run at a time.
    KivScanBlock zeros;
    zeros.nSectorSize = pCache->GetSectorSize();
    zeros.nBlockSectors = nBlock;
    zeros.bZeros = true;
    bool bHoles = true;       // the device may have holes (until it says it knows none)
    uint64_t nDataEnd = 0;    // sectors before this need no new question

    bool bAll = true;
    for (uint64_t i = nFirstBlock; i < nBlocks;) {
        if (m_pCallback->IsCancelled() || m_nStop) {
            KivLogA(0, "Intelligent search was cancelled by user!");
            bAll = false;
            break;
        }
        for (int n : KIV_PER_BLOCK_STATS) m_stats[n] = 0;
        const uint64_t nFirst = i * nBlock;
        uint64_t nNext = i + 1;
        KivScanBlock block;
        if (bHoles && nFirst >= nDataEnd) {
            uint64_t nData = nFirst, nEnd = nSectors;
            bHoles = pCache->FindData(nFirst, &nData, &nEnd) != 0;
            if (bHoles && nData >= std::min(nFirst + nBlock, nSectors) && nData > nFirst) {
                nNext = std::min(nBlocks, std::max(i + 1, nData / nBlock));
                if (!zeros.hold) {
                    // Pages of zeros that are never written: they cost no memory.
                    auto* p = static_cast<uint8_t*>(std::calloc(size_t(nBlock), zeros.nSectorSize));
                    if (!p) throw std::bad_alloc();
                    zeros.hold = std::shared_ptr<const uint8_t>(p, [](const uint8_t* q) { std::free(const_cast<uint8_t*>(q)); });
                    zeros.pData = p;
                }
                block = zeros;
                block.nFirst = nFirst;
                block.nCount = std::min<uint64_t>(nBlock, nSectors - nFirst);
            } else {
                nDataEnd = bHoles ? std::max(nEnd, nFirst + 1) : 0;
            }
        }
        if (!block.bZeros) {
            // Waiting for a slow device ends when a stop is asked.
            if (!pCache->SetCurCacheBlock(static_cast<int64_t>(i)) || !pCache->GetCurBlock(&block)) {
                KivLogA(0, "Intelligent search was cancelled by user!");
                bAll = false;
                break;
            }
        }
        AnalyzeAll(i, block, std::min(nNext * nBlock, nSectors));
        m_nDone = nNext;
        m_pCallback->OnBlockDone(m_stats);
        m_pCallback->SetPos(nNext);
        if (m_fnWant && m_fnTake && nNext < nBlocks && m_fnWant(nNext)) m_fnTake(nNext, kCheckpointDue);
        i = nNext;
    }
    m_pWorkers = nullptr;
    if (m_nFailedAnalyses)
        KivLogA(0, "%llu block analyses failed in this pass", static_cast<unsigned long long>(m_nFailedAnalyses.load()));
    return bAll && m_nDone == nBlocks;
}
