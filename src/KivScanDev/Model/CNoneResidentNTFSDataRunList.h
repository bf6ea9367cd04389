// Ordinary NTFS data runs (sparse runs start at KIV_SPARSE_RUN).
#pragma once

#include "CKivDataRunList.h"

class CNoneResidentNTFSDataRunList : public CKivDataRunList {
public:
    int GetKind() override { return KIV_RUNS_NTFS; }
};
