// The result of a recovery: what was written, each file that is not whole with its reason, the
// way to the recovered files, and the recovery report saved where the user says.
#pragma once

#include <string>
#include <vector>

#include "CKivResultController.h"
#include "CWinModal.h"

class CKivRecoveryReport;

class CWinRecovResDlg : public CWinModal {
public:
    // The lines as the core gave them; pReport (may be null) is the run's report.
    CWinRecovResDlg(const KivRecoverSummary& sum, const std::vector<std::string>& problems, const CKivRecoveryReport* pReport,
                    HWND hOwner);
    void Run();
    // Saves the report there (after the core's check of the path); false with the reason shown.
    bool SaveReport(const std::wstring& strFile);

protected:
    void OnInit() override;
    void OnCommand(int nId, int nCode) override;

private:
    const KivRecoverSummary& m_sum;
    const std::vector<std::string>& m_problems;
    const CKivRecoveryReport* m_pReport;
};
