// The core's progress for a terminal: one status line for the scan, the tree building and the
// recovery, and a line of its own for every file that came back damaged or not at all (quiet or
// not: those are never hidden; the core's recovery run keeps them). Ctrl-C is the stop button.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "CliSession.h"
#include "IKivUiSink.h"

class CliProgressSink final : public IKivProgressSink {
public:
    // pDev: the scanned device, whose unreadable sectors the scan line counts (may be null).
    explicit CliProgressSink(CliStatusLine& line, IKivDevStor* pDev = nullptr);

    void OnScanProgress(const KivScanProgress& p) override;
    void OnBuildPhase(const std::string& strText, uint64_t nTotal) override;
    void OnBuildProgress(uint64_t nValue, uint64_t nTotal) override;
    void OnRecoverProgress(const KivRecoverProgress& p) override;
    void OnRecoverDamaged(const std::string& strPath, const std::string& strReason) override;
    void OnRecoverDamagedAt(const std::string& strPath, const std::string& strReason,
                            const std::vector<KivByteRange>& zeros) override;
    void OnRecoverFailed(const std::string& strPath, const std::string& strReason) override;
    bool IsStopRequested() override { return CliInterrupted(); }

    // "recovering 50 %: 12 of 20 files, 3.50 MiB of 7.00 MiB, 4.10 MiB/s" of the last figures.
    std::string RecoverText() const;
    uint64_t FilesDone() const;
    uint64_t BytesDone() const;
    double Seconds() const;

private:
    std::string FormatRecover() const;  // with the lock held
    void Report(const char* pszWhat, const std::string& strLine);

    CliStatusLine& m_line;
    IKivDevStor* m_pDev;
    mutable std::mutex m_lock;  // the line and the figures: the engine's threads report
    uint64_t m_nStartMs;
    std::string m_strPhase;
    uint64_t m_nFiles = 0, m_nBytes = 0, m_nFilesTotal = 0, m_nBytesTotal = 0;
};
