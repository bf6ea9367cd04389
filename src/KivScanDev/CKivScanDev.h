// The scan engine component: one device, one pass over it with every scanner, then the scored
// partitions, their trees and the recovery of ticked nodes.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "CKivScanState.h"
#include "CKivScanThread.h"
#include "IKivFsScanner.h"
#include "IKivScanDev.h"
#include "KivScanConfig.h"
#include "Model/CRawFileInfo.h"

class CKivFileRecover;
class IIsClusterUsed;

class CKivScanDev : public IKivScanDev {
public:
    using ScannerMaker = std::function<IKivFsScanner*()>;

    // The FAT, NTFS, exFAT, ext and RAW scanners (the subset $UNDELIA_SCANNERS names).
    CKivScanDev();
    // The scanners the makers answer, in this order (tests, benches). A maker answering null is
    // skipped.
    explicit CKivScanDev(std::vector<ScannerMaker> makers);
    // The makers of the scanners of a set, in the engine's order.
    static std::vector<ScannerMaker> MakersOf(const KivScannerSet& set);

    KivResult Init(IKivDevStor* pStor) override;
    KivResult Uninit() override;
    KivResult DoScan(const KivFilterSettings* pFilter, IKivScanCallBack* pCallback) override;
    KivResult WaitForScanEnd(uint32_t nMs) override;
    KivResult StopScan() override;
    KivResult EnumResParts(std::vector<CKivScanResPart*>* pList) override;
    KivResult EnumResFiles(uint32_t nNameBase, std::vector<CKivScanResPart*>* pList,
                           IKivEnumResFilesCallback* pCallback, IKivFsNode** ppRoot) override;
    KivResult SetPumpHook(KivPumpHook pfnHook) override;
    KivResult DoRecoverFile(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback,
                            const char* pszDestFile) override;
    KivResult DoRecoverDir(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback, const char* pszDestDir,
                           char* pszCreated, uint32_t nCreatedSize) override;
    KivResult WaitForRecoverEnd(uint32_t nMs) override;
    KivResult SetCheckpointSink(IKivScanCheckpoint* pSink) override;
    KivResult SaveScanState(IKivStream* pStream) override;
    KivResult LoadScanState(IKivStream* pStream) override;
    KivResult GetScanPosition(uint64_t* pDone, uint64_t* pTotal, int* pComplete) override;

    // The statistics block of the last scan (16 counters).
    const uint64_t* GetScanStats() const { return m_scan.Stats(); }
    const CRawFileList& GetRawFileList() const { return m_rawFiles; }
    // The last pass went over every block; how many block analyses a scanner failed in it.
    bool ScanCompleted() const { return m_scan.Completed(); }
    // The scanners work side by side on each block (the default) or one after the other.
    void SetSideBySide(bool b) { m_scan.SetSideBySide(b); }
    uint64_t FailedAnalyses() const { return m_scan.FailedAnalyses(); }

protected:
    ~CKivScanDev() override;

private:
    KivResult InitFsScan();
    KivResult AddFsScanner(IKivFsScanner* pScanner);
    void ReleaseScanners();
    // The recovery object of this engine, made on first use over the engine's device.
    CKivFileRecover* Recoverer();
    // A partition node named pszName over the whole device holding the carved files that lie
    // outside pUsed (all of them for null), or null when there are none.
    IKivFsNode* BuildRawNode(const char* pszName, IIsClusterUsed* pUsed, IKivEnumResFilesCallback* pCallback);

    // The engine-wide filter and the carving types it enables.
    void ApplyFilter(int32_t nMode, const std::vector<std::string>& exts);
    // The state of the scanners as they stand (between blocks, or after the pass).
    KivResult WriteState(IKivStream* pStream, uint64_t nDone, uint64_t nBlocks, bool bComplete);
    // Gives each scanner its saved state (the list is in the engine's order).
    KivResult RestoreScanners(const CKivScanState& st);
    // The carved files point at the analysers of the registry as it stands.
    void BindAnalysers();
    // Called on the scan thread for a checkpoint of kind nKind (CKivScanThread).
    void TakeCheckpoint(uint64_t nDone, int nKind);

    std::vector<ScannerMaker> m_makers;
    IKivDevStor* m_pStor = nullptr;
    std::vector<IKivFsScanner*> m_scanners;
    CRawFileList m_rawFiles;
    CKivScanThread m_scan;
    std::unique_ptr<CKivFileRecover> m_pRecover;

    int32_t m_nFilterMode = 2;
    std::vector<std::string> m_filterExts;
    IKivScanCheckpoint* m_pSink = nullptr;
    bool m_bScanned = false;        // a pass was started (or a finished state taken over)
    bool m_bLoadedComplete = false; // a finished scan's state stands in for the pass
    std::unique_ptr<CKivScanState> m_pResume;  // an unfinished state, for the next DoScan
    std::vector<uint8_t> m_stopState;           // the state of a pass stopped early
};
