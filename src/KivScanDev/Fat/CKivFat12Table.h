// The 12-bit allocation table.
#pragma once

#include "CKivFatTableBase.h"

class CKivFat12Table final : public CKivFatTableBase {
public:
    CKivFat12Table() : CKivFatTableBase(12, 1, 12) {}
    uint32_t GetEntry(uint32_t nCluster) override;
    bool IsValid() override;
};
