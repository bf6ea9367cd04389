// FAT cluster chains: a run that starts where the last one ends lengthens it.
#pragma once

#include "CKivDataRunList.h"

class CFATDataRunList : public CKivDataRunList {
public:
    int GetKind() override { return KIV_RUNS_FAT; }
    void AddRun(uint64_t nStart, uint64_t nLength) override;
};
