// Runs of a carved file, in sectors of the scanned device.
#pragma once

#include "CKivDataRunList.h"

class CRAWDataRunList : public CKivDataRunList {
public:
    int GetKind() override { return KIV_RUNS_RAW; }
};
