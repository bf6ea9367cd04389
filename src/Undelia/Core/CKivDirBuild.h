// The callback of the result-tree build: passes the engine's phases on and answers the stop.
#pragma once

#include <atomic>
#include <cstdint>

#include "IKivScanDev.h"
#include "IKivUiSink.h"

class CKivDirBuild final : public IKivEnumResFilesCallback {
public:
    explicit CKivDirBuild(IKivProgressSink* pSink) : m_pSink(pSink) {}

    int SetPhase(const char* pszText, uint64_t nTotal) override;
    int SetProgress(uint64_t nValue) override;
    void OnPhaseEnd() override {}
    int IsCancelled() override { return Answer(); }

    void RequestStop() { m_bStop = true; }
    bool IsStopped() const { return m_bStop.load(); }

private:
    // Remembers a stop the sink asked for, so that the end can tell a stopped run.
    int Answer() {
        if (!m_bStop.load() && m_pSink && m_pSink->IsStopRequested()) m_bStop = true;
        return m_bStop.load() ? -1 : 0;
    }

    IKivProgressSink* m_pSink;
    std::atomic<bool> m_bStop{false};
    uint64_t m_nTotal = 0;
};
