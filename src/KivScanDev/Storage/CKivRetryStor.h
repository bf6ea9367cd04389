// The device as the tree builders read it: every read also tries the sectors the scan wrote off
// untried near damaged regions, because the folders, tables and records that lie there are needed
// now. The device's own bound on failing reads still holds.
#pragma once

#include "IKivDevStor.h"

class CKivRetryStor : public IKivDevStor {
public:
    explicit CKivRetryStor(IKivDevStor* pInner) : m_pInner(pInner) {}  // borrowed

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        return m_pInner->ReadSectorsEx(pBuf, nFirst, nCount, KIV_READ_RETRY_UNTRIED, nullptr);
    }
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override {
        return m_pInner->ReadSectorsEx(pBuf, nFirst, nCount, nFlags | KIV_READ_RETRY_UNTRIED, pBad);
    }
    int GetBadAreas(KivBadRanges* pOut) override { return m_pInner->GetBadAreas(pOut); }
    int AddBadAreas(const KivBadRanges& areas) override { return m_pInner->AddBadAreas(areas); }
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override {
        return m_pInner->FindData(nSector, pFirst, pEnd);
    }
    uint64_t GetSectorCount() override { return m_pInner->GetSectorCount(); }
    uint32_t GetSectorSize() override { return m_pInner->GetSectorSize(); }
    int Open() override { return m_pInner->Open(); }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

private:
    IKivDevStor* m_pInner;
};
