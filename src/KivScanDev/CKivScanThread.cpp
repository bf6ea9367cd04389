#include "CKivScanThread.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "KivLog.h"
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
    uint32_t n = nSectorSize ? KIV_SCAN_BLOCK_BYTES / nSectorSize : 0;
    return n ? n : 1;
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
    IKivDevStor* pCache = nullptr;
    try {
        auto* pBlockCache = new CKivDevStorCache(m_pDevice);
        pCache = pBlockCache;
        uint32_t nBlock = BlockSectors(m_pDevice->GetSectorSize());
        pBlockCache->SetBlockSectors(nBlock);
        for (IKivFsScanner* p : m_scanners) p->SetStorage(pCache);
        for (IKivFsScanner* p : m_scanners) p->SetBlockSectors(nBlock);
        for (IKivFsScanner* p : m_scanners) p->BeginScan();
        bool bRestored = true;
        if (m_fnRestore) {
            bRestored = m_fnRestore();
            std::copy(std::begin(m_resumeStats), std::end(m_resumeStats), m_stats);
            m_fnRestore = nullptr;
        }
        if (!bRestored) {
            KivLogA(0, "The saved scan state could not be restored; the scan does not start");
        } else {
            bool bAll = RunBlocks(pCache, nBlock);
            // The state between blocks, before the scanners wind up, is what a later pass resumes.
            if (!bAll && m_fnTake) m_fnTake(m_nDone, kCheckpointStopped);
            pBlockCache->StopReadAhead();
            for (IKivFsScanner* p : m_scanners) p->EndScan();
            if (bAll) {
                m_bCompleted = true;
                if (m_fnTake) m_fnTake(m_nDone, kCheckpointComplete);
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

bool CKivScanThread::RunBlocks(IKivDevStor* pCache, uint32_t nBlock) {
    auto* pBlockCache = static_cast<CKivDevStorCache*>(pCache);
    uint64_t nSectors = m_pDevice->GetSectorCount();
    uint64_t nBlocks = nSectors / nBlock + (nSectors % nBlock ? 1 : 0);
    uint64_t nFirstBlock = m_nStartSector / nBlock;
    m_nBlocks = nBlocks;
    m_nDone = std::min(nFirstBlock, nBlocks);
    if (nFirstBlock < nBlocks) pBlockCache->StartReadAhead(m_nStartSector);
    m_pCallback->SetRange(0, nBlocks);

    for (uint64_t i = nFirstBlock; i < nBlocks; ++i) {
        if (m_pCallback->IsCancelled() || m_nStop) {
            KivLogA(0, "Intelligent search was cancelled by user!");
            break;
        }
        for (int n : KIV_PER_BLOCK_STATS) m_stats[n] = 0;
        pBlockCache->SetCurCacheBlock(static_cast<int64_t>(i));
        uint64_t nFirst = i * nBlock;
        uint64_t nCount = std::min<uint64_t>(nBlock, nSectors - nFirst);
        for (IKivFsScanner* p : m_scanners) {
            // A scanner that throws gives up the rest of this block for the scanners after it.
            try {
                p->AnalyzeBlock(nFirst, nCount, m_stats);
            } catch (const std::exception& e) {
                KivLogA(0, "%s scanner failed on block %llu: %s", ScannerName(p->GetScannerType()),
                        static_cast<unsigned long long>(i), e.what());
                break;
            } catch (...) {
                KivLogA(0, "%s scanner failed on block %llu", ScannerName(p->GetScannerType()),
                        static_cast<unsigned long long>(i));
                break;
            }
        }
        m_nDone = i + 1;
        m_pCallback->OnBlockDone(m_stats);
        m_pCallback->SetPos(i + 1);
        if (m_fnWant && m_fnTake && i + 1 < nBlocks && m_fnWant(i + 1)) m_fnTake(i + 1, kCheckpointDue);
    }
    return m_nDone == nBlocks;
}
