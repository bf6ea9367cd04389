// A RAID-5 volume: K columns, stripes of S sectors, data of S (K - 1) sectors per row, the
// parity rotating left-symmetric (row r keeps it on column (K - 1 - r) mod K, its data starts on
// the column after and wraps). A chunk that cannot be read is rebuilt from the other columns.
#pragma once

#include "Ldm/CKivVolDyn.h"

class CKivVolDynRaid5 : public CKivVolDyn {
public:
    CKivVolDynRaid5(std::vector<KivDynExtent> extents, uint64_t nSectors, uint8_t nPartType, uint64_t nStripe,
                    uint64_t nColumns)
        : CKivVolDyn(KIV_DYN_RAID5, std::move(extents), nSectors, nPartType), m_nStripe(nStripe), m_nColumns(nColumns) {}

    // Where volume sector F lies: its column and the offset inside the column.
    void Locate(uint64_t nFirst, uint64_t* pnColumn, uint64_t* pnOffset) const;

    // A chunk whose column is missing or unreadable is the XOR of the same sectors of every other
    // column; when one of those fails too, the chunk stays zero and the read answers 0.
    int ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) override;

private:
    uint64_t m_nStripe, m_nColumns;
};
