// The first and second copy of a volume's allocation table; answers from the first when it was
// loaded, otherwise from the second.
#pragma once

#include <memory>

#include "IKivDevStor.h"
#include "CKivFatTableBase.h"

class CKivDoubleFatTable final : public IKivFATTable {
public:
    // Loads the copies the evidence allows (first when bUseFirst; second only when the first was
    // not loaded and bUseSecond). A copy is kept only when it reads, fits its kind's size limits and
    // passes IsValid. nFatStart is the first copy's sector.
    void Load(IKivDevStor* pStor, int32_t nType, uint64_t nFatStart, uint32_t nSectorsPerFat, bool bUseFirst,
              bool bUseSecond);
    bool HasTable() const { return m_pFirst || m_pSecond; }
    bool HasFirst() const { return m_pFirst != nullptr; }
    uint32_t GetEntry(uint32_t nCluster) override;

    // A new table of the type's width (null for other types), not yet loaded.
    static std::unique_ptr<CKivFatTableBase> NewTable(int32_t nType);

private:
    std::unique_ptr<IKivRealFatTable> m_pFirst;
    std::unique_ptr<IKivRealFatTable> m_pSecond;
};
