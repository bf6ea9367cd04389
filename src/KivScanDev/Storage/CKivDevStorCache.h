// Block cache with read-ahead between the device and the scanners: the scan thread makes one block
// current at a time (SetCurCacheBlock) and every read inside it costs a memory copy; a producer
// thread keeps reading the following blocks sequentially.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "IKivDevStor.h"
#include "Storage/KivScanBlock.h"

class CKivDevStorCache : public IKivDevStor {
public:
    static constexpr uint32_t kDefaultBlockSectors = 1000;
    static constexpr size_t kQueueLimit = 10;  // the producer runs up to kQueueLimit + 1 blocks ahead
    // How far ahead it runs while the device keeps up with the scan: one block, read while the
    // scanners work on the current one (every block held costs memory: the carver keeps 20 behind).
    // Each noticeable wait of the scan lets it run further, up to the limit.
    static constexpr size_t kInitialDepth = 1;

    // Bytes the cache asks of the inner storage at a time.
    static constexpr uint64_t kFillPieceBytes = 1u << 20;

    // The inner storage is borrowed: no reference is added or dropped. One that is missing or
    // cannot be opened is logged and not used (IsReady answers false).
    explicit CKivDevStorCache(IKivDevStor* pInner);
    bool IsReady() const { return m_pInner != nullptr; }
    // Asked on the consumer's thread between reads and while it waits for a block: true ends the
    // wait and the read-ahead, and SetCurCacheBlock answers 0. Set before StartReadAhead.
    void SetStopCheck(std::function<bool()> fn) { m_fnStop = std::move(fn); }

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    // Sectors served from the current block are listed as they were when the block was read; a
    // retry of untried sectors goes to the inner storage.
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    int GetBadAreas(KivBadRanges* pOut) override { return m_pInner ? m_pInner->GetBadAreas(pOut) : 0; }
    int AddBadAreas(const KivBadRanges& areas) override { return m_pInner ? m_pInner->AddBadAreas(areas) : 0; }
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override {
        return m_pInner ? m_pInner->FindData(nSector, pFirst, pEnd) : IKivDevStor::FindData(nSector, pFirst, pEnd);
    }
    uint64_t GetSectorCount() override;
    uint32_t GetSectorSize() override;
    int Open() override;
    int Close() override;
    IKivDevStor* GetBaseStor() override { return nullptr; }

    // New block size; the current block is dropped. Returns 1 (0 for n == 0 or no inner storage).
    int SetBlockSectors(uint32_t n);
    uint32_t GetBlockSectors() const { return m_nBlockSectors; }
    bool IsBlockIndexValid(int64_t i);
    // Starts reading ahead at the block that holds nStartSector: up to 10 blocks at once (no more
    // than the device holds), the rest on a thread. Returns 1, or 0 without an inner storage.
    int StartReadAhead(uint64_t nStartSector = 0);
    // Makes block i current. A block read ahead is taken from the queue (after a jump ahead the
    // read-ahead goes on from block i); a block behind it, or any block without read-ahead, is read
    // from the inner storage. 0 for an invalid index, and when the stop check ended the wait (no
    // block is current then).
    int SetCurCacheBlock(int64_t i);
    // Stops the producer and drops what it queued. Always returns, even when nobody consumes.
    int StopReadAhead();
    int64_t GetCurBlockIndex() const { return m_nCurBlock; }
    // The unreadable sectors of the current block (read as zeros), sorted.
    const KivBadRanges& GetCurBlockBad() const { return m_curBad; }
    // The current block as a view of the cache's own buffer (no copy); false without one. The
    // buffer stays unchanged while the view's hold is kept, also after the cache moves on.
    bool GetCurBlock(KivScanBlock* pOut) const;

protected:
    ~CKivDevStorCache() override;

private:
    // Emptied buffers kept for reuse beyond those still held elsewhere.
    static constexpr size_t kSpareKept = 1;

    struct Block {
        uint64_t nFirst = 0;  // first sector
        std::shared_ptr<uint8_t> data;
        KivBadRanges bad;  // its unreadable sectors
    };

    uint64_t BlockBytes() const { return uint64_t(m_nBlockSectors) * m_nSectorSize; }
    // A block buffer nobody else holds: a spare one when there is one, else a new one (aligned, not
    // cleared). Under m_mtx.
    std::shared_ptr<uint8_t> TakeBuffer();
    std::shared_ptr<uint8_t> NewBuffer();
    // Reads the block that starts at nFirst into p; unreadable sectors read as zeros and are listed
    // in *pBad (a piece the inner storage refuses is zeros, listed whole). False when a stop ended
    // it part-way.
    bool FillBlock(uint8_t* p, uint64_t nFirst, KivBadRanges* pBad, bool bProducer);
    bool StopAsked(bool bProducer);  // the producer also hears StopReadAhead
    void ReadAheadThread();

    IKivDevStor* m_pInner;
    uint32_t m_nSectorSize;
    uint32_t m_nBlockSectors = kDefaultBlockSectors;
    std::shared_ptr<uint8_t> m_pCur;
    int64_t m_nCurBlock = -1;
    KivBadRanges m_curBad;

    std::mutex m_mtx;
    std::condition_variable m_cvReady;  // a block was queued, or the producer ended
    std::condition_variable m_cvSpace;  // a block was taken, or stop was asked
    std::deque<Block> m_queue;
    // Buffers the cache is done with; those that a scanner still holds are reused once it lets go.
    std::vector<std::shared_ptr<uint8_t>> m_spare;
    uint64_t m_nNextSector = 0;
    size_t m_nDepth = kInitialDepth;  // blocks the producer may keep queued, up to kQueueLimit + 1
    bool m_bRunning = false;   // the producer may still queue blocks
    bool m_bStopAsked = false;
    std::atomic<bool> m_bStopFlag{false};  // m_bStopAsked, for reads outside the lock
    std::function<bool()> m_fnStop;
    std::thread m_thread;
};
