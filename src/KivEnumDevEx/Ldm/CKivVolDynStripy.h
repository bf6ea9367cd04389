// A striped volume: stripes of S sectors in turn on K columns.
#pragma once

#include "Ldm/CKivVolDyn.h"

class CKivVolDynStripy : public CKivVolDyn {
public:
    CKivVolDynStripy(std::vector<KivDynExtent> extents, uint64_t nSectors, uint8_t nPartType, uint64_t nStripe,
                     uint64_t nColumns)
        : CKivVolDyn(KIV_DYN_STRIPED, std::move(extents), nSectors, nPartType), m_nStripe(nStripe), m_nColumns(nColumns) {}

    // Volume sector F lies in row F / (S K), column (F / S) mod K, at column offset
    // row S + F mod S. A column whose disk is missing reads as zeros.
    int ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) override;

private:
    uint64_t m_nStripe, m_nColumns;
};
