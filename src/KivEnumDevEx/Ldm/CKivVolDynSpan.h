// A spanned volume: its extents one after the other in volume order.
#pragma once

#include "Ldm/CKivVolDyn.h"

class CKivVolDynSpan : public CKivVolDyn {
public:
    CKivVolDynSpan(std::vector<KivDynExtent> extents, uint64_t nSectors, uint8_t nPartType)
        : CKivVolDynSpan(KIV_DYN_SPANNED, std::move(extents), nSectors, nPartType) {}

    // A part whose disk is missing reads as zeros; the answer is 0 when the extents end before
    // the request does.
    int ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) override;

protected:
    CKivVolDynSpan(int32_t nLayout, std::vector<KivDynExtent> extents, uint64_t nSectors, uint8_t nPartType);
};
