// What the program core needs from a front end: somewhere to show progress and a way to ask the
// user. The desktop program implements these with its dialogs, undelia-cli with a terminal line.
//
// Threads: scan progress comes from the engine's scan thread and recovery progress from its
// recovery thread; a windowed front end posts those calls to its user-interface thread. Every
// other call, and every prompt, comes on the thread that called the core. While the core waits
// for the engine it calls KivPumpMessages() every 10 ms, so a front end that installs its event
// pump with KivSetPumpHook stays responsive (and may call RequestStop from a button then).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KivCommon.h"
#include "IKivScanDev.h"
#include "KivFunction.h"

// One redraw of the scan dialog (at most every 200 ms, and once at the end).
struct KivScanProgress {
    uint64_t nPos = 0;    // blocks done
    uint64_t nRange = 0;  // blocks in all
    uint64_t nBytesDone = 0;
    uint64_t nBytesTotal = 0;
    uint32_t nFound = 0;  // items found so far
    uint64_t nElapsedSec = 0;
    uint64_t nRemainingSec = 0;  // rounded
    uint64_t nRemainingMs = 0;
    bool bTimesKnown = false;   // false once the user asked to stop, or before any block is done
    std::string strFound;       // "Files found: 12"
    std::string strElapsed;     // "Elapsed time:   0:01:05"
    std::string strRemaining;   // "Remaining time: 0:03:10"
};

// One redraw of the recovery dialog (at most every 300 ms, and whenever a bar reaches its end).
struct KivRecoverProgress {
    uint32_t nFilesDone = 0;
    uint32_t nFilesTotal = 0;
    uint64_t nBytesDone = 0;
    uint64_t nBytesTotal = 0;
    uint32_t nFileBar = 0;  // 0..1000
    uint32_t nByteBar = 0;  // 0..1000
    std::string strFile;    // "(3/20) IMG_0001.JPG"
    std::string strBytes;   // " 1.50 MB /   20.00 MB"
};

class IKivProgressSink {
public:
    virtual ~IKivProgressSink() = default;

    // The scan.
    virtual void OnScanProgress(const KivScanProgress& progress) {}
    virtual void OnScanEnd() {}
    // Building the result tree (engine phases) and the display views.
    virtual void OnBuildPhase(const std::string& strText, uint64_t nTotal) {}
    virtual void OnBuildProgress(uint64_t nValue, uint64_t nTotal) {}
    virtual void OnViewsStart() {}
    virtual void OnViewsEnd(KivResult nCode) {}
    // Recovery.
    virtual void OnRecoverProgress(const KivRecoverProgress& progress) {}
    // A file was written but parts of it could not be read (zeros stand in for them); the
    // reason may be empty.
    virtual void OnRecoverDamaged(const std::string& strPath, const std::string& strReason) {}
    // What the recovery calls: also with the byte ranges of the file that hold zeros ([first, end)
    // offsets), strReason being the engine's alone. A sink that has no use for the ranges as such
    // gets them written out after the reason.
    virtual void OnRecoverDamagedAt(const std::string& strPath, const std::string& strReason,
                                    const std::vector<KivByteRange>& zeros) {
        OnRecoverDamaged(strPath, strReason + KivByteRangesText(zeros.data(), zeros.size()));
    }
    // An entry produced no usable file.
    virtual void OnRecoverFailed(const std::string& strPath, const std::string& strReason) {}

    // Asked often, on any of those threads: true ends the work at the next block or file.
    virtual bool IsStopRequested() { return false; }
};

// What a question is about, so that a front end without a user at hand (the command line) can
// answer each kind by its own rule.
enum KivQuestion : int {
    KIV_ASK_STOP = 0,          // stop the scan, build or recovery under way?
    KIV_ASK_LOW_SPACE = 1,     // the destination has less free space than the selection needs: go on?
    KIV_ASK_RECOVER_INTO = 2,  // recover into this folder?
};

class IKivPrompt {
public:
    virtual ~IKivPrompt() = default;
    // A yes/no question; true for yes.
    virtual bool AskYesNo(KivQuestion nKind, const std::string& strText) = 0;
    // A message the user acknowledges: an error text or a hint.
    virtual void ShowMessage(const std::string& strText) = 0;
};
