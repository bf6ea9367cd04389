// One recovery of the files ticked in a view, as every front end runs it: the report of the run
// set up before (when one is wanted), every file that came back damaged or not at all gathered as
// the engine reports it, and after the copy both moved under the placeholder folders' final
// names, the report completed with the device's bad areas and the times. A front end only shows
// what it is told and what the run gathered.
#pragma once

#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "CKivRecoveryReport.h"
#include "CKivResultController.h"
#include "IKivUiSink.h"

class CDataBackstage;

class CKivRecoveryRun final : public IKivProgressSink {
public:
    // A file that came back damaged (with the byte ranges written as zeros) or not at all.
    struct Outcome {
        std::string path, reason;
        std::vector<KivByteRange> zeros;
    };

    CKivRecoveryRun(CDataBackstage& backstage, CKivResultController& ctl) : m_backstage(backstage), m_ctl(ctl) {}

    // Keeps a report of the run, made by strProgram started as strCommandLine, of the scanned
    // medium and its partitions as they stand now (numbers: the device list's index of each, in
    // their order; none given: -1 each), covering the work since tStarted (0: since Recover
    // began).
    void WantReport(const std::string& strProgram, const std::string& strCommandLine,
                    const std::vector<int>& numbers = {}, time_t tStarted = 0);
    // CKivResultController::Recover, pSink (may be null) told everything as it happens.
    KivResult Recover(CKivResultController::View view, const std::string& strFolder, IKivProgressSink* pSink,
                      IKivPrompt* pPrompt, KivRecoverSummary* pSummary);

    // After Recover: the files reported, in their order, under the folders' final names.
    std::vector<Outcome> Damaged() const;
    std::vector<Outcome> Failed() const;
    // Per rename of the last Recover (KivRecoverSummary::renamed), how many of them moved with it.
    const std::vector<size_t>& Moved() const { return m_moved; }
    // "path: reason" of an outcome with its zero ranges, as a list shows it ("path" alone when
    // there is no reason).
    static std::string Line(const Outcome& o);

    // The report with the device's bad areas as they stand (recovery may have read areas the scan
    // left untried) and the times; null when none is wanted. After Recover, or instead of it.
    CKivRecoveryReport* FinishReport();
    // The report being kept (null when none is wanted), for what a front end adds to it.
    CKivRecoveryReport* Report() { return m_bReport ? &m_report : nullptr; }
    // Writes a report into strPath once the path has passed the one check against the medium
    // being read: 0x05D when it lies on it, 0x020 when it cannot be written; *pWhy in one line.
    static KivResult SaveReport(const CDataBackstage& backstage, const CKivRecoveryReport& report,
                                const std::string& strPath, std::string* pWhy);

    // The sink the engine's recovery threads feed.
    void OnRecoverProgress(const KivRecoverProgress& p) override;
    void OnRecoverDamaged(const std::string& strPath, const std::string& strReason) override;
    void OnRecoverDamagedAt(const std::string& strPath, const std::string& strReason,
                            const std::vector<KivByteRange>& zeros) override;
    void OnRecoverFailed(const std::string& strPath, const std::string& strReason) override;
    bool IsStopRequested() override { return m_pSink && m_pSink->IsStopRequested(); }

private:
    CDataBackstage& m_backstage;
    CKivResultController& m_ctl;
    IKivProgressSink* m_pSink = nullptr;
    bool m_bReport = false;
    CKivRecoveryReport m_report;
    time_t m_tStarted = 0;
    mutable std::mutex m_mtx;  // the lists: the engine's threads report
    std::vector<Outcome> m_damaged, m_failed;
    std::vector<size_t> m_moved;
};
