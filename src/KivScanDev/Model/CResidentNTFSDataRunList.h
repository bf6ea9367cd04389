// Data held inside an MFT record: one run giving the record's place, plus the resident value.
#pragma once

#include "CKivDataRunList.h"

class CResidentNTFSDataRunList : public CKivDataRunList {
public:
    explicit CResidentNTFSDataRunList(uint16_t nResidentValue = 0) : m_nResident(nResidentValue) {}
    int IsResident() override { return 1; }
    uint16_t GetResidentValue() override { return m_nResident; }
    int GetKind() override { return KIV_RUNS_NTFS_RESIDENT; }

private:
    uint16_t m_nResident;
};
