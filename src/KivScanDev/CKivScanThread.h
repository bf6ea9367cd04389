// The one pass over the device: every 4 MiB block, read once through the read-ahead cache, goes to
// every scanner in list order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "IKivFsScanner.h"

constexpr uint32_t KIV_SCAN_BLOCK_BYTES = 4194304;

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
    bool HasThread() const { return m_thread.joinable(); }
    // Waits up to nMs (0: no limit) for the thread to end; true when it ended (it is then joined
    // and forgotten), false on time-out.
    bool Wait(uint32_t nMs);
    // Asks the thread to stop before its next block.
    void RequestStop() { m_nStop = 1; }
    const uint64_t* Stats() const { return m_stats; }

    // Sectors per block for a device sector size (at least 1).
    static uint32_t BlockSectors(uint32_t nSectorSize);

private:
    void Run();
    void RunBlocks(IKivDevStor* pCache, uint32_t nBlock);

    IKivDevStor* m_pDevice = nullptr;
    std::vector<IKivFsScanner*> m_scanners;
    IKivScanCallBack* m_pCallback = nullptr;
    uint64_t m_nStartSector = 0;
    uint64_t m_stats[KIV_SCAN_STAT_COUNT]{};
    std::atomic<uint32_t> m_nStop{0};

    std::mutex m_mtx;
    std::condition_variable m_cvEnded;
    bool m_bEnded = false;
    std::thread m_thread;
};
