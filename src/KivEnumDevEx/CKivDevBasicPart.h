// A window of a disk: the sectors of one basic partition.
#pragma once

#include <cstdint>

#include "IKivEnumDevEx.h"

class CKivDevBasicPart : public IKivDevStor {
public:
    // Borrows the disk: it neither adds nor drops a reference, so the disk must outlive it.
    CKivDevBasicPart(IKivDevDisk* pDisk, uint64_t nFirst, uint64_t nCount)
        : m_pDisk(pDisk), m_nFirst(nFirst), m_nCount(nCount) {}

    // Requests starting inside the window are served; the part past its end reads as zeros.
    // Requests starting at or past the end, or longer than the window, fail.
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    // Unreadable sectors and bad areas in the window's own sector numbers.
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    int GetBadAreas(KivBadRanges* pOut) override;
    int AddBadAreas(const KivBadRanges& areas) override;
    // The disk's holes inside the window, in the window's numbers.
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override;
    uint64_t GetSectorCount() override { return m_nCount; }
    uint32_t GetSectorSize() override { return m_pDisk ? m_pDisk->GetSectorSize() : 512; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

    uint64_t GetStartSector() const { return m_nFirst; }
    IKivDevDisk* GetDisk() const { return m_pDisk; }

protected:
    ~CKivDevBasicPart() override = default;

private:
    IKivDevDisk* m_pDisk;
    uint64_t m_nFirst;
    uint64_t m_nCount;
};
