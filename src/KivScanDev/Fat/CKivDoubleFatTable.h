// The first and second copy of a volume's allocation table; answers from the first when it was
// loaded, otherwise from the second.
#pragma once

#include <memory>

#include "IKivDevStor.h"
#include "CKivFatTableBase.h"

class CKivDoubleFatTable final : public IKivFATTable {
public:
    // Loads the copies the evidence allows (first when bUseFirst; second only when the first was
    // not kept and bUseSecond). A copy is kept only when it reads, fits its kind's size limits and
    // passes IsValid. nFatStart is the first copy's sector. A sector of the copy in use that cannot
    // be read, or fails its checks, is taken from the same sector of the other copy when that one
    // reads and passes; the other copy serves so when it may be used, or when its own start could
    // not be read (which is why the scan did not find it).
    void Load(IKivDevStor* pStor, int32_t nType, uint64_t nFatStart, uint32_t nSectorsPerFat, bool bUseFirst,
              bool bUseSecond);
    // Sectors of the table in use that neither copy could give (their entries read as free).
    uint32_t LostSectors() const { return m_nLost; }
    uint32_t TakenFromOther() const { return m_nTaken; }
    bool HasTable() const { return m_pFirst || m_pSecond; }
    bool HasFirst() const { return m_pFirst != nullptr; }
    uint32_t GetEntry(uint32_t nCluster) override;

    // A new table of the type's width (null for other types), not yet loaded.
    static std::unique_ptr<CKivFatTableBase> NewTable(int32_t nType);

private:
    std::unique_ptr<CKivFatTableBase> m_pFirst;
    std::unique_ptr<CKivFatTableBase> m_pSecond;
    uint32_t m_nLost = 0;
    uint32_t m_nTaken = 0;
};
