// The 32-bit allocation table.
#pragma once

#include "CKivFatTableBase.h"

class CKivFat32Table final : public CKivFatTableBase {
public:
    CKivFat32Table() : CKivFatTableBase(32, 256, 128000) {}
    uint32_t GetEntry(uint32_t nCluster) override;
    bool IsValid() override;
};
