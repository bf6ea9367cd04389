#include "CKivFileRecover.h"

#include "CKivRecoveryReport.h"

#include <cstddef>
#include <cstdio>

#include "KivFunction.h"
#include "KivUiClock.h"
#include "KivUiTexts.h"

namespace {
constexpr uint64_t kRedrawMs = 300;

uint32_t Bar(uint64_t nDone, uint64_t nTotal) {
    if (nTotal == 0) return 1000;
    return nDone >= nTotal ? 1000 : static_cast<uint32_t>(nDone * 1000 / nTotal);
}
}  // namespace

void CKivFileRecover::SetTotals(uint32_t nFiles, uint64_t nBytes) {
    m_nTotalFiles = nFiles;
    m_nTotalBytes = nBytes;
}

void CKivFileRecover::ResetCounters() {
    std::lock_guard<std::mutex> g(m_lock);
    m_nFiles = 0;
    m_nBytes = 0;
    m_nDamaged = 0;
    m_nFailed = 0;
    m_nLastMs = 0;
    m_strFile.clear();
    m_strDestStopped.clear();
    m_bDestStopped = false;
}

uint32_t CKivFileRecover::FileBar() const { return Bar(m_nFiles.load(), m_nTotalFiles); }

void CKivFileRecover::Redraw(bool bForce) {
    if (!m_pSink) return;
    KivRecoverProgress p;
    {
        std::lock_guard<std::mutex> g(m_lock);
        uint64_t nNow = KivTickMs();
        if (!bForce && nNow - m_nLastMs <= kRedrawMs) return;
        m_nLastMs = nNow;
        p.nFilesDone = m_nFiles;
        p.nFilesTotal = m_nTotalFiles;
        p.nBytesDone = m_nBytes;
        p.nBytesTotal = m_nTotalBytes;
        p.strFile = m_strFile;
    }
    p.nFileBar = Bar(p.nFilesDone, p.nFilesTotal);
    p.nByteBar = Bar(p.nBytesDone, p.nBytesTotal);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%8s / %10s", KivSizeTextIec(p.nBytesDone).c_str(), KivSizeTextIec(p.nBytesTotal).c_str());
    p.strBytes = buf;
    m_pSink->OnRecoverProgress(p);
}

int CKivFileRecover::OnFileDone(uint32_t nCount) {
    uint32_t n = m_nFiles += nCount;
    Redraw(n >= m_nTotalFiles);
    return Answer();
}

int CKivFileRecover::OnBytesWritten(uint64_t nBytes) {
    uint64_t n = m_nBytes += nBytes;
    // A finished byte count always shows, so done and total read the same at the end.
    Redraw(n >= m_nTotalBytes);
    return Answer();
}

int CKivFileRecover::OnFileStart(const char* pszName) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        char buf[64];
        std::snprintf(buf, sizeof buf, "(%u/%u) ", m_nFiles.load(), m_nTotalFiles);
        m_strFile = std::string(buf) + (pszName && *pszName ? pszName : "unkown");
    }
    Redraw(false);
    return Answer();
}

void CKivFileRecover::OnFileDamaged(const char* pszPath) {
    ++m_nDamaged;
    if (m_pSink) m_pSink->OnRecoverDamaged(pszPath ? pszPath : "", "");
}

void CKivFileRecover::OnFileDamagedEx(const KivRecoverIssue& issue) {
    ++m_nDamaged;
    if (!m_pSink) return;
    std::vector<KivByteRange> zeros;
    if (issue.nStructSize >= offsetof(KivRecoverIssue, nRanges) + sizeof issue.nRanges && issue.pRanges)
        zeros.assign(issue.pRanges, issue.pRanges + issue.nRanges);
    m_pSink->OnRecoverDamagedAt(issue.pszPath ? issue.pszPath : "", issue.pszReason ? issue.pszReason : "", zeros);
}

void CKivFileRecover::OnFileFailed(const char* pszName) {
    ++m_nFailed;
    if (m_pSink) m_pSink->OnRecoverFailed(pszName ? pszName : "", "");
}

void CKivFileRecover::OnFileFailedEx(const KivRecoverIssue& issue) {
    ++m_nFailed;
    const char* pszReason = issue.pszReason ? issue.pszReason : "";
    if (issue.bStopsRecovery) {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_bDestStopped) m_strDestStopped = pszReason;
        m_bDestStopped = true;
    }
    const char* pszPath = issue.pszPath ? issue.pszPath : "";
    if (m_pReport) m_pReport->OnFailed(issue.pNode, pszPath, pszReason);
    if (m_pSink) m_pSink->OnRecoverFailed(pszPath, pszReason);
}

void CKivFileRecover::OnFileWrittenEx(const KivRecoverIssue& info) {
    if (m_pReport) m_pReport->OnWritten(info.pNode, info.pszPath ? info.pszPath : "", info.pszReason ? info.pszReason : "");
}

std::string CKivFileRecover::DestStopped() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_strDestStopped;
}
