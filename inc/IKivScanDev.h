// The scan engine component and the callbacks the program hands it.
#pragma once

#include <cstdint>
#include <vector>

#include "IKivDevStor.h"
#include "KivScanResult.h"

#define KIV_IID_SCANDEV "IKivScanDev"

constexpr int KIV_SCAN_STAT_COUNT = 16;
constexpr int KIV_STAT_ITEMS_FOUND = 7;  // the displayed total of items found
// Bytes per sector of a file system found that the device cannot be read as at its own sector
// size (0: none); scanning again with that sector size finds it.
constexpr int KIV_STAT_OTHER_SECTOR_SIZE = 10;

// The scan reads the device in blocks of this many bytes (whole sectors: 4 MiB rounded down to the
// sector size); block counts, scan positions and saved scans are in these blocks.
constexpr uint32_t KIV_SCAN_BLOCK_BYTES = 4194304;
// Sectors per scan block for a sector size (at least 1; 512 bytes for 0).
constexpr uint32_t KivScanBlockSectors(uint64_t nSectorSize) {
    uint64_t n = KIV_SCAN_BLOCK_BYTES / (nSectorSize ? nSectorSize : 512);
    return n ? uint32_t(n) : 1;
}
// Bytes per scan block for a sector size.
constexpr uint64_t KivScanBlockBytes(uint64_t nSectorSize) {
    return uint64_t(KivScanBlockSectors(nSectorSize)) * (nSectorSize ? nSectorSize : 512);
}

// Called on the scan thread.
class IKivScanCallBack {
public:
    virtual ~IKivScanCallBack() = default;
    virtual void SetPos(uint64_t nDone) = 0;
    virtual void SetRange(uint64_t nLow, uint64_t nHigh) = 0;
    virtual int IsCancelled() = 0;
    virtual void Reserved() {}
    virtual void OnBlockDone(const uint64_t* pStats) = 0;
    virtual void OnScanEnd() = 0;
};

// Progress of tree building; -1 answers ask the engine to stop.
class IKivEnumResFilesCallback {
public:
    virtual ~IKivEnumResFilesCallback() = default;
    virtual int SetPhase(const char* pszText, uint64_t nTotal) = 0;
    virtual int SetProgress(uint64_t nValue) = 0;
    virtual int Reserved(int) { return 0; }
    virtual void OnPhaseEnd() = 0;
    virtual int IsCancelled() = 0;
};

// A byte range [nFirst, nEnd) of a file.
struct KivByteRange {
    uint64_t nFirst = 0;
    uint64_t nEnd = 0;
};

// Why one entry was reported damaged or failed. Fields are only ever added at the end;
// nStructSize tells a reader which ones the engine filled.
struct KivRecoverIssue {
    uint32_t nStructSize = sizeof(KivRecoverIssue);
    const char* pszPath = "";    // the output file (for a failure before it existed, the path it was to get)
    const char* pszName = "";    // the entry's name in the result tree
    const char* pszReason = "";  // one line, e.g. "No space left on device", "read past the end of the image"
    int32_t nErrno = 0;          // the system error behind it, 0 when none
    int32_t bStopsRecovery = 0;  // 1: the destination takes no more (full, read-only); the recovery ends here
    IKivFileNode* pNode = nullptr;  // the entry (borrowed)
    // A damaged file: the byte ranges [nFirst, nEnd) of the written file that hold zeros in place
    // of sectors that could not be read, in file order (offsets into the data for an encrypted file
    // kept as its import stream); none for damage without a place (a record that fails its checks).
    const KivByteRange* pRanges = nullptr;
    size_t nRanges = 0;
};

// Progress of recovery; -1 answers cancel.
class IKivFileRecoverCallback {
public:
    virtual int Reserved() { return 0; }
    virtual int OnFileDone(uint32_t nCount) = 0;
    virtual int OnBytesWritten(uint64_t nBytes) = 0;
    virtual int OnTailBytes(uint64_t nBytes) = 0;
    virtual int OnFileStart(const char* pszName) = 0;
    virtual int IsCancelled() = 0;
    // Outcome reports a caller may count for its summary. A damaged file was written but some of
    // its data could not be read (zeros stand in for it); a failed entry produced no usable file.
    virtual void OnFileDamaged(const char* pszPath) {}
    virtual void OnFileFailed(const char* pszName) {}
    // The same reports with their reason: what the engine calls. A damaged file keeps its full
    // length; a failed entry leaves no file behind (a partial one is deleted).
    virtual void OnFileDamagedEx(const KivRecoverIssue& issue) { OnFileDamaged(issue.pszPath); }
    virtual void OnFileFailedEx(const KivRecoverIssue& issue) { OnFileFailed(issue.pszPath); }
    // Additions after the slots above.
    // A file was written whole and closed (damaged ones too, just before OnFileDamagedEx):
    // pszPath is the file written, pszReason "" or why parts of it are zeros, pNode the entry.
    virtual void OnFileWrittenEx(const KivRecoverIssue& info) {}

protected:
    ~IKivFileRecoverCallback() = default;
};

// Extension filter settings handed to DoScan: mode 0 keeps only listed extensions, 1 keeps all but
// listed, 2 keeps everything. Extensions are lower case without the dot.
struct KivFilterSettings {
    int32_t nMode = 2;
    std::vector<const char*> exts;  // borrowed for the call
};

using KivPumpHook = void (*)();

// Receives the state of a running scan between blocks, on the scan thread, so that the program can
// keep it on disk: a scan stopped or killed part-way can then go on from there, and a finished
// one be listed and recovered without reading the device again.
class IKivScanCheckpoint {
public:
    virtual ~IKivScanCheckpoint() = default;
    // Asked after each block but the last with the number of blocks done; nonzero asks for the
    // state now.
    virtual int WantCheckpoint(uint64_t nBlocksDone) = 0;
    // The state as SaveScanState writes it, good for the call only. bComplete: the scan went over
    // every block (the last call of a finished scan); otherwise it can go on from nBlocksDone. A
    // scan stopped early always delivers its state once more when it stops.
    virtual void OnCheckpoint(const uint8_t* pState, uint64_t nBytes, uint64_t nBlocksDone, int bComplete) = 0;
};

class IKivScanDev : public IKivCommon {
public:
    virtual KivResult Init(IKivDevStor* pStor) = 0;
    virtual KivResult Uninit() = 0;
    virtual KivResult DoScan(const KivFilterSettings* pFilter, IKivScanCallBack* pCallback) = 0;
    virtual KivResult WaitForScanEnd(uint32_t nMs) = 0;
    virtual KivResult StopScan() = 0;
    // Appends the scored candidates; the caller owns (deletes) them.
    virtual KivResult EnumResParts(std::vector<CKivScanResPart*>* pList) = 0;
    virtual KivResult EnumResFiles(uint32_t nNameBase, std::vector<CKivScanResPart*>* pList,
                                   IKivEnumResFilesCallback* pCallback, IKivFsNode** ppRoot) = 0;
    // Message pump called by long work on the caller's thread; null means plain waiting.
    virtual KivResult SetPumpHook(KivPumpHook pfnHook) = 0;
    virtual KivResult DoRecoverFile(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback,
                                    const char* pszDestFile) = 0;
    virtual KivResult DoRecoverDir(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback,
                                   const char* pszDestDir, char* pszCreated, uint32_t nCreatedSize) = 0;
    virtual KivResult WaitForRecoverEnd(uint32_t nMs) = 0;

    // Checkpoints of the scans that DoScan starts from now on (null: none). The sink is borrowed
    // until the scan has ended.
    virtual KivResult SetCheckpointSink(IKivScanCheckpoint* pSink) = 0;
    // The state of the last scan once it has ended (or of the state loaded): where it stopped, the
    // settings and everything the scanners found, the carved files included. 0x003 while a scan
    // runs or before any scan.
    virtual KivResult SaveScanState(IKivStream* pStream) = 0;
    // Takes over a saved state before any scan of this engine. A finished scan's state stands in
    // for the scan: EnumResParts and EnumResFiles answer as after it. An unfinished one is gone on
    // with by the next DoScan, which then starts at the block after the last one done, with the
    // saved filter settings (those given to DoScan are ignored). 0x003 when the state belongs to a
    // device of another geometry, to other scanners, or the engine has scanned already; 0x020
    // when the state is damaged.
    virtual KivResult LoadScanState(IKivStream* pStream) = 0;
    // Blocks done and in all of the last scan or the state loaded; bComplete when every one was.
    virtual KivResult GetScanPosition(uint64_t* pDone, uint64_t* pTotal, int* pComplete) = 0;
};
