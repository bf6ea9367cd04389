// A device of large sectors seen as a device of 512-byte sectors (the recovery side reads through it).
#pragma once

#include <memory>

#include "IKivDevStor.h"

class CSimulateStorageDevice : public IKivDevStor {
public:
    // The inner storage is borrowed; its sector size should be a multiple of 512 above 512.
    explicit CSimulateStorageDevice(IKivDevStor* pInner);

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    // Unreadable inner sectors are listed as their 512-byte sectors.
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    uint64_t GetSectorCount() override;
    // The inner storage's holes, in 512-byte sectors.
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override;
    uint32_t GetSectorSize() override { return 512; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return m_pInner; }

private:
    IKivDevStor* m_pInner;
    uint32_t m_nRatio;                  // inner sector size / 512
    std::unique_ptr<uint8_t[]> m_pSector;  // one inner sector
    uint64_t m_nHeldPlusOne = 0;        // inner sector in m_pSector + 1; 0 = empty (never an unreadable one)
};
