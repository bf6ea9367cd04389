// A ring of the most recently read scan blocks, served as a sector store so that carved files
// can be measured from memory while the scan goes on; reads the ring cannot answer go to the
// storage it wraps.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "IKivDevStor.h"

class CBufferStorageDevice : public IKivDevStor {
public:
    CBufferStorageDevice() = default;
    ~CBufferStorageDevice() override = default;

    // Holds nBlocks blocks of nPushSectors sectors, plus one staging block that a caller may read
    // the next block into, so that pushing it needs no copy (zero-filled). pInner is borrowed and
    // may be null. nFirst is the sector the first pushed block is expected to start at.
    bool Init(IKivDevStor* pInner, uint64_t nFirst, uint32_t nSectorSize, uint32_t nPushSectors, uint32_t nBlocks);
    // Appends one block of nPushSectors sectors whose first sector is nFirst. A block that does not
    // follow the newest one held (a skipped block, a scan that starts further in) restarts the
    // ring there, so that every held sector keeps its own number.
    void Push(const uint8_t* pData, uint64_t nFirst);
    // The block buffer the next block may be read into; it is not part of the held sectors until
    // PushStaged. Null when not initialised.
    uint8_t* StagingBlock();
    // Push of what the staging block holds, without copying.
    void PushStaged(uint64_t nFirst);
    bool IsFull() const { return m_bValid && m_nHeld == m_nCapacity; }

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
    IKivDevStor* m_pInner = nullptr;
    uint32_t m_nSectorSize = 512;
    struct FreeDeleter {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t[], FreeDeleter> m_ring;
    uint64_t m_nFirstHeld = 0;
    uint64_t m_nHeld = 0;
    uint64_t m_nWrite = 0;  // ring index (sectors) of the staging block
    uint64_t m_nPush = 0;
    uint64_t m_nBlocks = 20;
    uint64_t m_nCapacity = 0;  // sectors held when full
    uint64_t m_nSlots = 0;     // sectors of the buffer: capacity + the staging block
    bool m_bValid = false;
};
