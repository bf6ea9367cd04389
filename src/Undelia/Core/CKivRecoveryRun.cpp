#include "CKivRecoveryRun.h"

#include "CDataBackstage.h"
#include "KivFunction.h"
#include "KivLog.h"
#include "KivUiCodes.h"

void CKivRecoveryRun::WantReport(const std::string& strProgram, const std::string& strCommandLine,
                                 const std::vector<int>& numbers, time_t tStarted) {
    m_bReport = true;
    m_tStarted = tStarted;
    std::vector<CKivScanResPart*> parts;
    m_backstage.GetScanResult(&parts);
    m_report.SetProgram(strProgram, strCommandLine);
    m_report.SetScan(m_backstage.GetScanDevice(), m_backstage.GetScanMediumPath(), parts, numbers);
}

KivResult CKivRecoveryRun::Recover(CKivResultController::View view, const std::string& strFolder,
                                   IKivProgressSink* pSink, IKivPrompt* pPrompt, KivRecoverSummary* pSummary) {
    KivRecoverSummary sum;
    if (!m_tStarted) m_tStarted = ::time(nullptr);
    m_pSink = pSink;
    KivResult rc = m_ctl.Recover(view, strFolder, this, pPrompt, &sum, m_bReport ? &m_report : nullptr);
    m_pSink = nullptr;
    // What was named under a placeholder folder during the copy lies under its final name now.
    std::lock_guard<std::mutex> lock(m_mtx);
    m_moved.assign(sum.renamed.size(), 0);
    for (std::vector<Outcome>* pList : {&m_damaged, &m_failed})
        for (Outcome& o : *pList)
            if (int i = KivFollowRename(&o.path, sum.renamed); i >= 0) ++m_moved[static_cast<size_t>(i)];
    if (pSummary) *pSummary = std::move(sum);
    return rc;
}

std::vector<CKivRecoveryRun::Outcome> CKivRecoveryRun::Damaged() const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_damaged;
}

std::vector<CKivRecoveryRun::Outcome> CKivRecoveryRun::Failed() const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_failed;
}

std::string CKivRecoveryRun::Line(const Outcome& o) {
    std::string strReason = o.reason + KivByteRangesText(o.zeros.data(), o.zeros.size());
    return o.path + (strReason.empty() ? "" : ": " + strReason);
}

CKivRecoveryReport* CKivRecoveryRun::FinishReport() {
    if (!m_bReport) return nullptr;
    m_report.TakeBadAreas(m_backstage.GetScanDevice());
    time_t tNow = ::time(nullptr);
    m_report.SetTimes(m_tStarted ? m_tStarted : tNow, tNow);
    return &m_report;
}

KivResult CKivRecoveryRun::SaveReport(const CDataBackstage& backstage, const CKivRecoveryReport& report,
                                      const std::string& strPath, std::string* pWhy) {
    if (KivOutputVerdict v = backstage.CheckOutput(strPath, KivOutput::kReport); v.bRefused) {
        if (pWhy) *pWhy = v.strText;
        return KIV_RETERR(KIV_E_ONMEDIUM);
    }
    if (!report.Save(strPath, pWhy)) return KIV_RETERR(KIV_E_IO);
    return KIV_OK;
}

void CKivRecoveryRun::OnRecoverProgress(const KivRecoverProgress& p) {
    if (m_pSink) m_pSink->OnRecoverProgress(p);
}

void CKivRecoveryRun::OnRecoverDamaged(const std::string& strPath, const std::string& strReason) {
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_damaged.push_back({strPath, strReason, {}});
    }
    if (m_pSink) m_pSink->OnRecoverDamaged(strPath, strReason);
}

void CKivRecoveryRun::OnRecoverDamagedAt(const std::string& strPath, const std::string& strReason,
                                         const std::vector<KivByteRange>& zeros) {
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_damaged.push_back({strPath, strReason, zeros});
    }
    if (m_pSink) m_pSink->OnRecoverDamagedAt(strPath, strReason, zeros);
}

void CKivRecoveryRun::OnRecoverFailed(const std::string& strPath, const std::string& strReason) {
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_failed.push_back({strPath, strReason, {}});
    }
    if (m_pSink) m_pSink->OnRecoverFailed(strPath, strReason);
}
