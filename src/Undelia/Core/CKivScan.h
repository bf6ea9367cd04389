// The scan callback: turns the engine's notifications (on its scan thread) into the scan dialog's
// redraws, at most one every 200 ms, and answers the user's stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "IKivScanDev.h"
#include "IKivUiSink.h"

class CKivScan final : public IKivScanCallBack {
public:
    explicit CKivScan(IKivProgressSink* pSink);
    // Block and device sizes turn block positions into bytes; restarts the clock.
    void SetDevice(uint64_t nBlockBytes, uint64_t nDeviceBytes);

    void SetRange(uint64_t nLow, uint64_t nHigh) override;
    void SetPos(uint64_t nDone) override;
    int IsCancelled() override;
    void OnBlockDone(const uint64_t* pStats) override;
    void OnScanEnd() override;

    // The stop button: no more time texts, and the scan ends at its next block.
    void RequestStop();
    // Cancels once n blocks are done (0: never).
    void SetStopAfterBlocks(uint64_t n) { m_nStopAt = n; }
    bool IsStopping() const { return m_bStopping.load(); }
    bool IsFinished() const { return m_bFinished.load(); }

    // Figures for a summary once the scan ended.
    uint64_t Pos() const { return m_nPos.load(); }
    uint64_t Range() const { return m_nRange.load(); }
    uint32_t Found() const { return m_nFound.load(); }
    // The sector size of a file system the scan saw but cannot read with the device's, or 0.
    uint64_t OtherSectorSize() const { return m_nOtherSectorSize.load(); }
    uint64_t BytesDone() const;
    double Seconds() const;

private:
    KivScanProgress MakeProgress();

    IKivProgressSink* m_pSink;
    uint64_t m_nBlockBytes = KIV_SCAN_BLOCK_BYTES;
    uint64_t m_nDeviceBytes = 0;
    uint64_t m_nStartMs;
    std::atomic<uint64_t> m_nEndMs{0};
    std::atomic<uint64_t> m_nLow{0}, m_nRange{0}, m_nPos{0};
    std::atomic<uint32_t> m_nFound{0};
    std::atomic<uint64_t> m_nOtherSectorSize{0};
    std::atomic<uint64_t> m_nStopAt{0};
    std::atomic<bool> m_bCancel{false}, m_bStopping{false}, m_bFinished{false};
    uint64_t m_nLastMs = 0;
    bool m_bDrawn = false;
    std::string m_strFound, m_strElapsed, m_strRemain;
};
