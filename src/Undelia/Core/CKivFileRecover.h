// The recovery callback: counts files and bytes as the engine's recovery thread reports them,
// redraws the two bars at most every 300 ms (and when one reaches its end) and answers the stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "IKivScanDev.h"
#include "IKivUiSink.h"

class CKivRecoveryReport;

class CKivFileRecover final : public IKivFileRecoverCallback {
public:
    // pReport (may be null) gets every file written and every entry that produced none.
    explicit CKivFileRecover(IKivProgressSink* pSink, CKivRecoveryReport* pReport = nullptr)
        : m_pSink(pSink), m_pReport(pReport) {}
    virtual ~CKivFileRecover() = default;

    int OnFileDone(uint32_t nCount) override;
    int OnBytesWritten(uint64_t nBytes) override;
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char* pszName) override;
    int IsCancelled() override { return Answer(); }
    void OnFileDamaged(const char* pszPath) override;
    void OnFileFailed(const char* pszName) override;
    // With the engine's reason; a damaged file's reason also says which byte ranges are zeros.
    void OnFileDamagedEx(const KivRecoverIssue& issue) override;
    void OnFileFailedEx(const KivRecoverIssue& issue) override;
    void OnFileWrittenEx(const KivRecoverIssue& info) override;

    void SetTotals(uint32_t nFiles, uint64_t nBytes);
    void ResetCounters();
    void RequestStop() { m_bStop = true; }
    bool IsStopped() const { return m_bStop.load(); }

    uint32_t FilesDone() const { return m_nFiles.load(); }
    uint64_t BytesDone() const { return m_nBytes.load(); }
    uint32_t Damaged() const { return m_nDamaged.load(); }
    uint32_t Failed() const { return m_nFailed.load(); }
    // The destination takes no more files (full, read-only), and the engine's reason for it.
    bool IsDestStopped() const { return m_bDestStopped.load(); }
    std::string DestStopped() const;
    uint32_t TotalFiles() const { return m_nTotalFiles; }
    uint64_t TotalBytes() const { return m_nTotalBytes; }
    // The bar the stop button looks at: 1000 once every file is done.
    uint32_t FileBar() const;

private:
    // Remembers a stop the sink asked for, so that the end can tell a stopped run.
    int Answer() {
        if (!m_bStop.load() && m_pSink && m_pSink->IsStopRequested()) m_bStop = true;
        return m_bStop.load() ? -1 : 0;
    }
    // Redraws when forced or when the last redraw is 300 ms old.
    void Redraw(bool bForce);

    IKivProgressSink* m_pSink;
    CKivRecoveryReport* m_pReport;  // locks itself: called on the recovery thread
    mutable std::mutex m_lock;  // the texts and the redraw clock
    uint64_t m_nLastMs = 0;
    std::atomic<uint32_t> m_nFiles{0};
    std::atomic<uint64_t> m_nBytes{0};
    std::atomic<uint32_t> m_nDamaged{0}, m_nFailed{0};
    uint32_t m_nTotalFiles = 0;
    uint64_t m_nTotalBytes = 0;
    std::string m_strFile;
    std::string m_strDestStopped;
    std::atomic<bool> m_bStop{false}, m_bDestStopped{false};
};
