// What the results page does, without any widget: builds the views once per scan, applies the
// result filter, keeps the ticks and totals of each view, previews one file and runs the
// recovery of what is ticked in the view shown. The desktop program's results panel and
// undelia-cli both drive it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CKivNodeStateMgr.h"
#include "CKivResultFilter.h"
#include "IKivUiSink.h"
#include "KivCommon.h"

class CDataBackstage;
class CKivFileNodeMgr;
class CKivUiNode;

// The outcome of a recovery run.
struct KivRecoverSummary {
    uint32_t nFilesTicked = 0;
    uint64_t nBytesTicked = 0;
    uint32_t nFilesWritten = 0;
    uint64_t nBytesWritten = 0;
    uint32_t nDamaged = 0;
    uint32_t nFailed = 0;
    bool bStopped = false;             // the user stopped it
    bool bDestStopped = false;         // the destination took no more files (full, read-only)
    std::string strDestStopped;        // the engine's reason for that
    bool bDeclined = false;            // the user said no to a question; nothing was written
    std::vector<std::string> folders;  // one per partition recovered
    // Placeholder folders renamed once their partition was written, (from, to) as full paths:
    // what was reported damaged or failed under `from` during the copy now lies under `to`.
    std::vector<std::pair<std::string, std::string>> renamed;
};

class CKivRecoveryReport;

// Moves a path written under a renamed placeholder folder to where it lies now; answers the index
// of the rename it followed, -1 when none applies.
int KivFollowRename(std::string* pPath, const std::vector<std::pair<std::string, std::string>>& renamed);

class CKivResultController {
public:
    enum View { VIEW_DIR = 0, VIEW_TYPE = 1, VIEW_FILTER = 2 };
    static constexpr uint64_t kPreviewLimit = 20971520;  // 20 MiB

    explicit CKivResultController(CDataBackstage& backstage);

    // The partitions to build, from the scan result in its order: all of them for a whole disk
    // (the engine builds those it selected), the first (or the first two when a later one is
    // selected) for a partition.
    static std::vector<CKivScanResPart*> FilterValueResPart(const std::vector<CKivScanResPart*>& parts, int nDevMode);
    // Builds the directory and type views (once per scan: later calls show the same). 0x05A when
    // nothing was found, 0x001 when the build failed.
    KivResult FileInit(IKivProgressSink* pSink);
    CKivUiNode* Root(View view) const;

    // Builds the filter view (on a worker, pumping). 0x05A when no file passes.
    KivResult ApplyFilter(const CKivResultFilter& filter, CKivUiNode** ppRoot);

    // Ticks and totals, per view.
    KivResult SetTick(View view, CKivUiNode* pNode, bool bTicked);
    void GetTotals(View view, uint64_t* pFiles, uint64_t* pBytes) const;
    // "12 files selected, 3.50 MiB" of the view's totals ("1 file selected, ..." for one).
    std::string TotalsText(View view) const;
    // Files the folder view lists (the scan dialog counts every item the scan found: folders and
    // entries of other partitions too).
    uint64_t FilesListed() const;
    // The pictures the folder view lists (deleted and carved ones included), for thumbnails.
    std::vector<CKivUiNode*> Pictures() const;
    // Whether the scan behind the views was stopped before its end, and how far it got (percent).
    bool ScanStopped(unsigned* pPercent = nullptr) const;
    // What the results page says about the scan: complete with the files listed, or stopped at
    // its percentage with what is shown being the results so far.
    std::string ScanStateText() const;

    // The destination checks of the folder dialog: 0x05C unless an existing folder; 0x05D when it
    // lies on the medium being read (the prompt shows why); 0x00F when its file system has less
    // free space than 110 % of the ticked bytes and the user does not go on (the prompt asks
    // "DlgSelectDir"/"Capcity"; a null prompt refuses).
    static KivResult CheckDestination(const CDataBackstage& backstage, const std::string& strFolder, uint64_t nBytes,
                                      IKivPrompt* pPrompt);
    // Makes a destination folder the user typed that does not exist yet, with its missing parents:
    // never on the medium being scanned (strScanMedium, may be empty), never where nothing can be
    // written. 0x05C with the reason otherwise.
    static KivResult CreateDestination(const std::string& strFolder, const std::string& strScanMedium, std::string* pWhy);
    // The folder the destination dialog opens at: the last one chosen while it still exists, else
    // its nearest existing parent; empty when none was chosen (the front end's home folder then).
    static std::string StartFolder(const char* pszPrefKey);
    // Remembers a folder chosen for the next time (CKivUserPrefs).
    static void RememberFolder(const char* pszPrefKey, const std::string& strFolder, const std::string& strScanMedium);
    // Free bytes of the file system that holds the folder.
    static bool FreeSpace(const std::string& strFolder, uint64_t* pBytes);

    // The checks and questions of a recovery, before any progress is shown: 0x05B when nothing
    // is ticked, the destination checks, then "PanelFileRes"/"RecoverDstWarn" (without a prompt
    // nothing is asked). A no answers KIV_OK with bDeclined set in *pSummary (may be null).
    KivResult ConfirmRecover(View view, const std::string& strFolder, IKivPrompt* pPrompt,
                             KivRecoverSummary* pSummary);
    // Recovers what is ticked in the view into the folder: ConfirmRecover first (a front end that
    // asked it already answers its questions up front), then one folder per partition with
    // ticked files, placeholder folders renamed afterwards. 0x041 when the user stopped it.
    // pReport (may be null) records every file written or failed, under the folders' final names.
    KivResult Recover(View view, const std::string& strFolder, IKivProgressSink* pSink, IKivPrompt* pPrompt,
                      KivRecoverSummary* pSummary, CKivRecoveryReport* pReport = nullptr);
    // The stop of a running Recover (its pump or another thread).
    void RequestStopRecover();

    // Recovers one file into the preview folder ("Tmp" beside the program, or the user's cache
    // folder when that is not writable), emptied first. Files over 20 MiB are refused with the
    // hint "PanelFileRes"/"PrivewSizeLimit" shown; 0x053 when the recovery fails. *pExternal
    // tells whether the file is one to open with the system's program (office files, archives).
    KivResult Preview(CKivUiNode* pFile, IKivProgressSink* pSink, IKivPrompt* pPrompt, std::string* pPath,
                      bool* pExternal);
    static std::string PreviewFolder();
    static void ClearPreviewFolder();

private:
    CKivNodeStateMgr& States(View view) { return m_states[view]; }

    CDataBackstage& m_backstage;
    CKivNodeStateMgr m_states[3];
    class CProgressRecover* m_pRunning = nullptr;
};
