// The carving scanner: offers every non-empty sector of each scan block to the analysers of the
// selected file types, records each hit in the shared carved-file list and measures each file once
// 19 more blocks have passed, through a ring of the last 20 blocks. The ring keeps in memory only
// blocks a file still waiting to be measured starts in or after, and no more than a few: the rest
// is read again from the storage, which answers the same bytes for what the scan has passed.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "Model/CKivFsScannerBase.h"
#include "Model/CRawFileInfo.h"
#include "Raw/CBufferStorageDevice.h"

class CKivRAWScanner : public CKivFsScannerBase {
public:
    static constexpr uint32_t kRingBlocks = 20;
    // Blocks of the ring whose data stays in memory (4 MiB each with the scan's block size): files of
    // up to 12 MiB are measured from memory, and the scan's memory stays bounded beside a
    // read-ahead that may hold 11 blocks of its own on a device that keeps the scan waiting.
    static constexpr size_t kRingDataBlocks = 4;
    static constexpr int kStatFilesFound = 6;

    int BeginScan() override;
    int EndScan() override;
    int AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) override;
    // The ring keeps the view's buffer instead of a copy.
    int AnalyzeView(const KivScanBlock& block, uint64_t* pStats) override;
    // No file starts in zeros; the zero blocks only move the ring on.
    int AnalyzeZeros(uint64_t nFirst, uint64_t nEnd, const KivScanBlock& zeros, uint64_t* pStats) override;
    int EnumParts(std::vector<CKivScanResPart*>*) override { return 1; }
    // The files still waiting to be measured (as indexes into the shared list, which the engine
    // keeps itself) and the sectors the ring holds. Loaded after BeginScan, the ring is read
    // again from the storage, so that the files still pending are measured as they would have been.
    int SaveState(IKivStream* pStream) override;
    int LoadState(IKivStream* pStream) override;
    int GetScannerType() override { return KIV_SCANNER_RAW; }

    size_t GetPendingCount() const { return m_pending.size(); }
    const CBufferStorageDevice& GetRing() const { return m_ring; }
    // How many blocks of the ring may keep their data (kRingDataBlocks by default); what is measured
    // does not depend on it, only how much is read again.
    void SetRingDataBlocks(size_t n) { m_nRingData = n; }

private:
    void MeasurePending();
    // Lets the ring go of the blocks no pending file needs.
    void TrimRing();

    CBufferStorageDevice m_ring;
    std::deque<CRawFileInfo*> m_pending;  // borrowed from the list, in order found
    std::unique_ptr<CRawFileInfo> m_pFresh;
    size_t m_nRingData = kRingDataBlocks;
    bool m_bActive = false;
};
