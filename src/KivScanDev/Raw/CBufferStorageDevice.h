// A ring of the most recently read scan blocks, served as a sector store so that carved files
// can be measured from memory while the scan goes on; reads the ring cannot answer go to the
// storage it wraps. The blocks are the scan's own block buffers, held rather than copied. The
// window (first sector, sectors held, full) always spans the last blocks pushed; the owner may let
// go of the data of blocks nobody will read (Trim), whose sectors then come from the inner storage.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "IKivDevStor.h"

class CBufferStorageDevice : public IKivDevStor {
public:
    CBufferStorageDevice() = default;
    ~CBufferStorageDevice() override = default;

    // Holds up to nBlocks blocks of nPushSectors sectors. pInner is borrowed and may be null. nFirst
    // is the sector the first pushed block is expected to start at.
    bool Init(IKivDevStor* pInner, uint64_t nFirst, uint32_t nSectorSize, uint32_t nPushSectors, uint32_t nBlocks);
    // Appends a copy of one block of nPushSectors sectors whose first sector is nFirst. A block that
    // does not follow the newest one held (a skipped block, a scan that starts further in) restarts
    // the ring there, so that every held sector keeps its own number.
    void Push(const uint8_t* pData, uint64_t nFirst);
    // The same without a copy: hold keeps pData (nValid sectors; the rest of the block reads as
    // zeros) alive and unchanged while the ring holds it. Without hold the block is copied.
    void PushShared(std::shared_ptr<const uint8_t> hold, const uint8_t* pData, uint64_t nFirst, uint64_t nValid);
    // A block buffer of nPushSectors sectors that nobody else holds (one the ring let go of, when
    // there is one), for a caller that reads a block itself. Null when not initialised.
    std::shared_ptr<uint8_t> SpareBlock();
    bool IsFull() const { return m_bValid && m_nHeld == m_nCapacity; }
    // Lets go of the data of the blocks that end at or before nFrom, and of the newest ones beyond
    // nMaxData blocks with data: the window stays as it is, only where its sectors come from
    // changes. The inner storage answers the same bytes for sectors the scan has passed.
    void Trim(uint64_t nFrom, size_t nMaxData);
    // Blocks of the window whose data is in memory.
    size_t GetDataBlocks() const;

    uint64_t GetFirstHeld() const { return m_nFirstHeld; }
    uint64_t GetHeld() const { return m_nHeld; }
    uint64_t GetCapacity() const { return m_nCapacity; }

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    // Sector numbers are those of the inner storage, and reads outside the ring go there, so its
    // length is the length of this storage too (the readers' fallback at the end relies on it).
    uint64_t GetSectorCount() override { return m_pInner ? m_pInner->GetSectorCount() : m_nFirstHeld + m_nHeld; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return 1; }
    int Close() override;
    IKivDevStor* GetBaseStor() override { return nullptr; }

private:
    static constexpr size_t kSpareKept = 2;

    struct Held {
        std::shared_ptr<const uint8_t> hold;
        const uint8_t* pData = nullptr;
        uint64_t nValid = 0;  // sectors of data; the rest reads as zeros
        bool bOwn = false;    // a buffer of SpareBlock, reused once let go
        bool HasData() const { return pData != nullptr; }
    };
    void Drop(Held& h);
    void Append(Held h, uint64_t nFirst);

    IKivDevStor* m_pInner = nullptr;
    uint32_t m_nSectorSize = 512;
    std::deque<Held> m_blocks;  // oldest first
    std::vector<std::shared_ptr<uint8_t>> m_spare;
    uint64_t m_nFirstHeld = 0;
    uint64_t m_nHeld = 0;
    uint64_t m_nPush = 0;
    uint64_t m_nBlocks = 20;
    uint64_t m_nCapacity = 0;  // sectors held when full
    bool m_bValid = false;
};
