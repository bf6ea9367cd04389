// Block cache with read-ahead between the device and the scanners: the scan thread makes one block
// current at a time (SetCurCacheBlock) and every read inside it costs a memory copy; a producer
// thread keeps reading the following blocks sequentially.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "IKivDevStor.h"

class CKivDevStorCache : public IKivDevStor {
public:
    static constexpr uint32_t kDefaultBlockSectors = 1000;
    static constexpr size_t kQueueLimit = 10;  // the producer runs up to kQueueLimit + 1 blocks ahead
    // How far ahead it runs while the device keeps up with the scan: a few blocks stay in the
    // processor cache for the copy out. Each noticeable wait of the scan lets it run further, up to
    // the limit.
    static constexpr size_t kInitialDepth = 3;

    // The inner storage is borrowed: no reference is added or dropped.
    explicit CKivDevStorCache(IKivDevStor* pInner);

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    // Sectors served from the current block are listed as they were when the block was read; a
    // retry of untried sectors goes to the inner storage.
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    int GetBadAreas(KivBadRanges* pOut) override { return m_pInner ? m_pInner->GetBadAreas(pOut) : 0; }
    int AddBadAreas(const KivBadRanges& areas) override { return m_pInner ? m_pInner->AddBadAreas(areas) : 0; }
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
    // from the inner storage. 0 for an invalid index.
    int SetCurCacheBlock(int64_t i);
    // Stops the producer and drops what it queued. Always returns, even when nobody consumes.
    int StopReadAhead();
    int64_t GetCurBlockIndex() const { return m_nCurBlock; }
    // The unreadable sectors of the current block (read as zeros), sorted.
    const KivBadRanges& GetCurBlockBad() const { return m_curBad; }

protected:
    ~CKivDevStorCache() override;

private:
    struct Block {
        uint64_t nFirst = 0;  // first sector
        std::unique_ptr<uint8_t[]> data;
        KivBadRanges bad;  // its unreadable sectors
    };

    uint64_t BlockBytes() const { return uint64_t(m_nBlockSectors) * m_nSectorSize; }
    std::unique_ptr<uint8_t[]> TakeBuffer();  // under m_mtx
    // Reads the block that starts at nFirst into p; unreadable sectors read as zeros and are listed
    // in *pBad (a block the inner storage refuses is zeros, listed whole).
    void FillBlock(uint8_t* p, uint64_t nFirst, KivBadRanges* pBad);
    void ReadAheadThread();

    IKivDevStor* m_pInner;
    uint32_t m_nSectorSize;
    uint32_t m_nBlockSectors = kDefaultBlockSectors;
    std::unique_ptr<uint8_t[]> m_pCur;
    int64_t m_nCurBlock = -1;
    KivBadRanges m_curBad;

    std::mutex m_mtx;
    std::condition_variable m_cvReady;  // a block was queued, or the producer ended
    std::condition_variable m_cvSpace;  // a block was taken, or stop was asked
    std::deque<Block> m_queue;
    std::vector<std::unique_ptr<uint8_t[]>> m_spare;  // emptied buffers, reused by the producer
    uint64_t m_nNextSector = 0;
    size_t m_nDepth = kInitialDepth;  // blocks the producer may keep queued, up to kQueueLimit + 1
    bool m_bRunning = false;   // the producer may still queue blocks
    bool m_bStopAsked = false;
    std::thread m_thread;
};
