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
};
