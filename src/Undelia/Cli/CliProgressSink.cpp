#include "CliProgressSink.h"

#include <algorithm>
#include <cstdio>

#include "KivFunction.h"
#include "KivUiClock.h"

CliProgressSink::CliProgressSink(CliStatusLine& line, IKivDevStor* pDev)
    : m_line(line), m_pDev(pDev), m_nStartMs(KivTickMs()) {}

void CliProgressSink::OnScanProgress(const KivScanProgress& p) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_line.IsLive()) return;
    double dSec = Seconds();
    uint64_t nPct = p.nBytesTotal ? p.nBytesDone * 100 / p.nBytesTotal : 100;
    double dRate = dSec > 0 ? static_cast<double>(p.nBytesDone) / dSec : 0;
    std::string s = "scanning " + std::to_string(nPct) + " %  " + CliSizeText(static_cast<uint64_t>(dRate)) +
                    "/s  elapsed " + CliDurationText(dSec);
    if (p.bTimesKnown && p.nBytesDone < p.nBytesTotal)
        s += "  remaining " + CliDurationText(static_cast<double>(p.nRemainingMs) / 1000.0);
    s += "  found " + std::to_string(p.nFound);
    if (m_pDev) {
        KivBadRanges bad;
        m_pDev->GetBadAreas(&bad);
        uint64_t n = 0;
        for (const KivBadRange& r : bad) n += r.nEnd - r.nFirst;
        if (n) s += "  unreadable " + std::to_string(n) + " sectors";
    }
    // The core already keeps to a few redraws a second, and the last one must show.
    m_line.Update(s, true);
}

void CliProgressSink::OnBuildPhase(const std::string& strText, uint64_t) {
    std::lock_guard<std::mutex> g(m_lock);
    m_strPhase = strText;
    m_line.Update(m_strPhase, true);
}

void CliProgressSink::OnBuildProgress(uint64_t nValue, uint64_t nTotal) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_line.IsLive() && nTotal)
        m_line.Update(m_strPhase + "  " + std::to_string(std::min<uint64_t>(nValue * 100 / nTotal, 100)) + " %");
}

void CliProgressSink::OnRecoverProgress(const KivRecoverProgress& p) {
    std::lock_guard<std::mutex> g(m_lock);
    m_nFiles = p.nFilesDone;
    m_nBytes = p.nBytesDone;
    m_nFilesTotal = p.nFilesTotal;
    m_nBytesTotal = p.nBytesTotal;
    m_line.Update(FormatRecover());
}

std::string CliProgressSink::FormatRecover() const {
    double dSec = Seconds();
    auto nRate = static_cast<uint64_t>(dSec > 0 ? static_cast<double>(m_nBytes) / dSec : 0.0);
    // Appended piece by piece: MinGW's g++ takes "lit" + std::string for an overlapping copy.
    std::string s = "recovering";
    if (m_nBytesTotal) s.append(" ").append(std::to_string(std::min<uint64_t>(m_nBytes * 100 / m_nBytesTotal, 100))).append(" %");
    s.append(": ").append(std::to_string(m_nFiles));
    if (m_nFilesTotal) s.append(" of ").append(std::to_string(m_nFilesTotal));
    s.append(" files, ").append(CliSizeText(m_nBytes));
    if (m_nBytesTotal) s.append(" of ").append(CliSizeText(m_nBytesTotal));
    return s.append(", ").append(CliSizeText(nRate)).append("/s");
}

std::string CliProgressSink::RecoverText() const {
    std::lock_guard<std::mutex> g(m_lock);
    return FormatRecover();
}

uint64_t CliProgressSink::FilesDone() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_nFiles;
}

uint64_t CliProgressSink::BytesDone() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_nBytes;
}

double CliProgressSink::Seconds() const { return static_cast<double>(KivTickMs() - m_nStartMs) / 1000.0; }

void CliProgressSink::Report(const char* pszWhat, const std::string& strLine) {
    std::lock_guard<std::mutex> g(m_lock);
    m_line.Finish();
    CliError(std::string(pszWhat) + ": " + strLine);
}

void CliProgressSink::OnRecoverDamaged(const std::string& strPath, const std::string& strReason) {
    Report("damaged", strPath + ": " + strReason);
}

void CliProgressSink::OnRecoverDamagedAt(const std::string& strPath, const std::string& strReason,
                                         const std::vector<KivByteRange>& zeros) {
    Report("damaged", strPath + ": " + strReason + KivByteRangesText(zeros.data(), zeros.size()));
}

void CliProgressSink::OnRecoverFailed(const std::string& strPath, const std::string& strReason) {
    Report("failed", strPath + ": " + strReason);
}
