// Common body of the run-list kinds: an ordered vector of runs with a cursor.
#pragma once

#include <vector>

#include "KivScanResult.h"

class CKivDataRunList : public IDataRunList {
public:
    int IsResident() override { return 0; }
    uint16_t GetResidentValue() override { return 0; }
    // 32-bit run count, then start and length (8 bytes each) per run.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;  // appends
    const KivDataRun* First() override;
    const KivDataRun* Next() override;
    void AddRun(uint64_t nStart, uint64_t nLength) override;
    size_t GetRunCount() override { return m_runs.size(); }

    const std::vector<KivDataRun>& Runs() const { return m_runs; }

protected:
    std::vector<KivDataRun> m_runs;
    size_t m_nCursor = 0;
};
