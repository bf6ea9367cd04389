#include "CKivScan.h"

#include <algorithm>
#include <cstdio>

#include "KivFunction.h"
#include "KivLog.h"
#include "KivUiClock.h"
#include "KivUiTexts.h"

namespace {
constexpr uint64_t kRedrawMs = 200;

std::string Labelled(const std::string& label, const std::string& value) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%-15s %s", label.c_str(), value.c_str());
    return buf;
}
}  // namespace

CKivScan::CKivScan(IKivProgressSink* pSink)
    : m_pSink(pSink),
      m_nStartMs(KivTickMs()),
      m_strFound(KivHintText("DlgProgScan", "TxtFound")),
      m_strElapsed(KivHintText("DlgProgScan", "TxtElapsed")),
      m_strRemain(KivHintText("DlgProgScan", "TxtRemain")) {}

void CKivScan::SetDevice(uint64_t nBlockBytes, uint64_t nDeviceBytes) {
    m_nBlockBytes = nBlockBytes ? nBlockBytes : KIV_SCAN_BLOCK_BYTES;
    m_nDeviceBytes = nDeviceBytes;
    m_nStartMs = KivTickMs();
}

void CKivScan::SetRange(uint64_t nLow, uint64_t nHigh) {
    m_nLow = nLow;
    m_nRange = nHigh;
    m_nPos = nLow;
}

uint64_t CKivScan::BytesDone() const {
    uint64_t nBlocks = m_nPos.load() - std::min(m_nPos.load(), m_nLow.load());
    return nBlocks > m_nDeviceBytes / std::max<uint64_t>(m_nBlockBytes, 1) ? m_nDeviceBytes : nBlocks * m_nBlockBytes;
}

double CKivScan::Seconds() const {
    uint64_t nEnd = m_nEndMs.load() ? m_nEndMs.load() : KivTickMs();
    return static_cast<double>(nEnd - m_nStartMs) / 1000.0;
}

KivScanProgress CKivScan::MakeProgress() {
    KivScanProgress p;
    p.nPos = m_nPos;
    p.nRange = m_nRange;
    p.nBytesDone = BytesDone();
    p.nBytesTotal = m_nDeviceBytes;
    p.nFound = m_nFound;
    p.strFound = m_strFound + " " + std::to_string(p.nFound);
    uint64_t nLow = m_nLow, nDone = p.nPos > nLow ? p.nPos - nLow : 0, nAll = p.nRange > nLow ? p.nRange - nLow : 0;
    uint64_t nElapsedMs = KivTickMs() - m_nStartMs;
    p.nElapsedSec = nElapsedMs / 1000;
    if (!m_bStopping && nDone > 0 && nAll > 0) {
        // Total time from the share done so far, in milliseconds: whole seconds would call the
        // rest of a scan that is 10 % through after 0.9 s "0 s".
        double f = static_cast<double>(std::min(nDone, nAll)) / static_cast<double>(nAll);
        auto nTotalMs = static_cast<uint64_t>(static_cast<double>(nElapsedMs) / f);
        p.nRemainingMs = nTotalMs > nElapsedMs ? nTotalMs - nElapsedMs : 0;
        p.nRemainingSec = (p.nRemainingMs + 500) / 1000;
        p.bTimesKnown = true;
        p.strElapsed = Labelled(m_strElapsed, KivTimeText(p.nElapsedSec));
        p.strRemaining = Labelled(m_strRemain, KivTimeText(p.nRemainingSec));
    }
    return p;
}

void CKivScan::SetPos(uint64_t nDone) {
    m_nPos = nDone;
    uint64_t nNow = KivTickMs();
    // The last block always shows, so the bar ends full.
    if (m_bDrawn && nNow - m_nLastMs < kRedrawMs && nDone < m_nRange) return;
    m_nLastMs = nNow;
    m_bDrawn = true;
    if (m_pSink) m_pSink->OnScanProgress(MakeProgress());
}

int CKivScan::IsCancelled() {
    if (uint64_t n = m_nStopAt.load(); n && m_nPos.load() >= n) return 1;
    return m_bCancel.load() || (m_pSink && m_pSink->IsStopRequested()) ? 1 : 0;
}

void CKivScan::OnBlockDone(const uint64_t* pStats) {
    if (!pStats) return;
    m_nFound = static_cast<uint32_t>(pStats[KIV_STAT_ITEMS_FOUND]);
    if (pStats[KIV_STAT_OTHER_SECTOR_SIZE]) m_nOtherSectorSize = pStats[KIV_STAT_OTHER_SECTOR_SIZE];
}

void CKivScan::OnScanEnd() {
    m_nEndMs = KivTickMs();
    m_bFinished = true;
    if (m_pSink) m_pSink->OnScanEnd();
    KivLogW(0, L"finish");
}

void CKivScan::RequestStop() {
    m_bStopping = true;
    m_bCancel = true;
}
