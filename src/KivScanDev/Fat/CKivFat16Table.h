// The 16-bit allocation table.
#pragma once

#include "CKivFatTableBase.h"

class CKivFat16Table final : public CKivFatTableBase {
public:
    CKivFat16Table() : CKivFatTableBase(16, 12, 256) {}
    uint32_t GetEntry(uint32_t nCluster) override;
    bool IsValid() override;
};
