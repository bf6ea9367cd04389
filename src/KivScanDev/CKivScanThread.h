// The one pass over the device: every 4 MiB block, read once through the read-ahead cache, goes to
// every scanner in list order.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "IKivFsScanner.h"

class CKivDevStorCache;
class CKivScanWorkers;

// Counters reset before every block; the others add up over the whole scan.
constexpr int KIV_PER_BLOCK_STATS[] = {8, 9, 11, 14, 15};

class CKivScanThread {
public:
    CKivScanThread() = default;
    ~CKivScanThread();  // stops and joins a running scan
    CKivScanThread(const CKivScanThread&) = delete;
    CKivScanThread& operator=(const CKivScanThread&) = delete;

    // Starts the pass over pDevice (borrowed, as are the scanners and the callback, until the
    // thread has been waited for). The first block is the one holding nStartSector. False when a
    // thread is still recorded or cannot be started.
    bool Start(IKivDevStor* pDevice, const std::vector<IKivFsScanner*>& scanners, IKivScanCallBack* pCallback,
               uint64_t nStartSector);

    // What a pass that goes on from a saved state does besides: after BeginScan, fnRestore gives
    // the scanners their saved states (false ends the pass before any block); the statistics
    // block starts from pStats. Cleared by the next Start.
    void SetResume(std::function<bool()> fnRestore, const uint64_t* pStats);
    // Checkpoints, on the scan thread: after every block but the last fnWant(blocks done) is
    // asked, and when it answers true fnTake(blocks done, kCheckpointDue) is called while every
    // scanner stands between blocks. A pass stopped early calls fnTake(blocks done,
    // kCheckpointStopped) before the scanners end; a pass that went to the end calls
    // fnTake(blocks, kCheckpointComplete) after they ended.
    enum { kCheckpointDue = 0, kCheckpointStopped = 1, kCheckpointComplete = 2 };
    void SetCheckpoints(std::function<bool(uint64_t)> fnWant, std::function<void(uint64_t, int)> fnTake);
    // Replaces the statistics block while no pass runs (a saved scan taken over).
    void SetStats(const uint64_t* pStats) { std::copy(pStats, pStats + KIV_SCAN_STAT_COUNT, m_stats); }
    void SetPosition(uint64_t nDone, uint64_t nBlocks, bool bCompleted) {
        m_nDone = nDone;
        m_nBlocks = nBlocks;
        m_bCompleted = bCompleted;
    }
    // Blocks done, counted from block 0 (a pass that started further in counts those before it).
    uint64_t BlocksDone() const { return m_nDone; }
    uint64_t BlockCount() const { return m_nBlocks; }
    // The last pass went over every block (and no error ended it).
    bool Completed() const { return m_bCompleted; }
    bool HasThread() const { return m_thread.joinable(); }
    // Waits up to nMs (0: no limit) for the thread to end; true when it ended (it is then joined
    // and forgotten), false on time-out.
    bool Wait(uint32_t nMs);
    // Whether the scanners of a pass work side by side on each block (the default) or one after
    // the other on the scan thread. Set while no pass runs.
    void SetSideBySide(bool b) { m_bSideBySide = b; }
    // Asks the thread to stop before its next block.
    void RequestStop() { m_nStop = 1; }
    const uint64_t* Stats() const { return m_stats; }

    // Sectors per block for a device sector size (at least 1).
    static uint32_t BlockSectors(uint32_t nSectorSize);
    // Block analyses of the last pass that a scanner answered with a failure or an exception.
    uint64_t FailedAnalyses() const { return m_nFailedAnalyses; }

private:
    static constexpr uint64_t kLoggedFailures = 20;
    // The counter a scanner sets (rather than adds to) for its block, besides the other sector size.
    static constexpr int kStatSetPerBlock = 13;

    void Run();
    // BeginScan on every scanner; false (logged) when one fails.
    bool BeginScanners();
    // One scanner on a block (or, for a block of zeros, the run of zero blocks up to sector nEnd).
    void AnalyzeWith(IKivFsScanner* p, uint64_t nBlockIndex, const KivScanBlock& block, uint64_t nEnd, uint64_t* pStats);
    // Every scanner on it, side by side when asked to.
    void AnalyzeAll(uint64_t nBlockIndex, const KivScanBlock& block, uint64_t nEnd);
    // True when every block was done.
    bool RunBlocks(CKivDevStorCache* pCache, uint32_t nBlock);

    IKivDevStor* m_pDevice = nullptr;
    std::vector<IKivFsScanner*> m_scanners;
    IKivScanCallBack* m_pCallback = nullptr;
    uint64_t m_nStartSector = 0;
    uint64_t m_stats[KIV_SCAN_STAT_COUNT]{};
    std::atomic<uint32_t> m_nStop{0};
    std::function<bool()> m_fnRestore;
    uint64_t m_resumeStats[KIV_SCAN_STAT_COUNT]{};
    std::function<bool(uint64_t)> m_fnWant;
    std::function<void(uint64_t, int)> m_fnTake;
    std::atomic<uint64_t> m_nDone{0};
    std::atomic<uint64_t> m_nBlocks{0};
    std::atomic<bool> m_bCompleted{false};
    std::atomic<uint64_t> m_nFailedAnalyses{0};
    bool m_bSideBySide = true;
    CKivScanWorkers* m_pWorkers = nullptr;  // of the running pass
    std::vector<std::array<uint64_t, KIV_SCAN_STAT_COUNT>> m_scannerStats;

    std::mutex m_mtx;
    std::condition_variable m_cvEnded;
    bool m_bEnded = false;
    std::thread m_thread;
};
