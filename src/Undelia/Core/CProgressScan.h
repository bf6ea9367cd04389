// The scan driver: checks the chosen device is still the one the user picked, gives a fresh
// engine the device and the chosen file types, and waits (pumping) until the scan ends or the
// user stops it; then keeps the result partitions in the back-stage. A saved scan taken over
// before its end is gone on with instead, saving into its session file as it goes.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "CKivScan.h"
#include "IKivFilter.h"
#include "IKivUiSink.h"

class CDataBackstage;
class CKivSessionSaver;

class CProgressScan {
public:
    CProgressScan(CDataBackstage& backstage, IKivProgressSink* pSink);

    // The storage of the selected record (a reference for the caller), re-checked against a fresh
    // device list: 0x015 when the device went away or another took its place. A direct device of
    // the back-stage is taken as it is. pPath (may be null) receives the device's path.
    KivResult GetSelectedDev(IKivDevStor** ppStor, std::string* pPath = nullptr);
    // True when the back-stage already holds a scan of the selected device for the chosen file
    // types: going back from the results and on again then keeps it instead of scanning anew.
    bool CanKeepScan();
    // The file types as a session file names them ("" for every type).
    static std::string TypesText(const KivFilterSet& types);
    // Runs the whole scan, or the rest of a saved one. A stop still counts as done: what was found
    // is kept.
    KivResult DoScan();
    // How often a scan gone on with is saved into its session file (it is saved at its end too).
    void SetSaveEvery(double dSeconds) { m_dSaveEvery = dSeconds; }
    // Why keeping the scan in its session file failed (the medium could not be identified, or the
    // first save that failed), empty when all succeeded.
    const std::string& SessionError() const { return m_strSessionError; }
    // The medium of a new session could not be identified: DoScan scanned nothing.
    bool SessionNotBegun() const { return m_bNotBegun; }

    // A new scan is kept in strFile while it runs (every SetSaveEvery seconds and at its end),
    // for the medium as it is identified just before; strTypes names its file types as the
    // session file will. Empty: not kept. A scan gone on with keeps its own file.
    void SaveInto(const std::string& strFile, const std::string& strTypes) {
        m_strSaveFile = strFile;
        m_strSaveTypes = strTypes;
    }
    // Called after each save of the session file with the number of saves so far (test programs
    // stop there).
    void SetAfterSave(std::function<void(uint64_t)> fn) { m_fnAfterSave = std::move(fn); }
    // Ends the scan once n blocks are done, as a stop there would (0: no limit).
    void SetStopAfterBlocks(uint64_t n) { m_scan.SetStopAfterBlocks(n); }
    // For tests driving a front end: every driver made from now on stops after n blocks (0: no
    // limit, the default).
    static void SetTestStopAfterBlocks(uint64_t n) { s_nTestStopAfterBlocks = n; }
    // Blocks that were already done when this run began (a resumed scan starts further in).
    uint64_t FirstBlock() const { return m_nFirstBlock; }

    // The stop button (any thread): the scan ends at its next block.
    void RequestStop() { m_scan.RequestStop(); }
    // Asks "DlgProgScan"/"TxtCancel" and stops on yes; answers the choice.
    bool AskStop(IKivPrompt& prompt);
    // Stopped before the last block (by the user or the sink).
    bool WasStopped() const { return m_scan.Pos() < m_scan.Range(); }
    // The scan's figures.
    const CKivScan& Scan() const { return m_scan; }

private:
    KivResult GoOn();
    KivResult Run(IKivScanDev* pEngine, const KivFilterSettings& settings, CKivSessionSaver* pSaver);

    CDataBackstage& m_backstage;
    CKivScan m_scan;
    double m_dSaveEvery = 60;
    std::string m_strSessionError;
    std::string m_strSaveFile, m_strSaveTypes;
    bool m_bNotBegun = false;
    std::function<void(uint64_t)> m_fnAfterSave;
    uint64_t m_nFirstBlock = 0;
    static inline std::atomic<uint64_t> s_nTestStopAfterBlocks{0};
};
