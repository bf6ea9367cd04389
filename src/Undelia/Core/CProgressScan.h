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
    // Why a save into the session file failed (the first failure), empty when all succeeded.
    const std::string& SessionError() const { return m_strSessionError; }

    // Called on the fresh engine once it is initialised on the device, before a new scan starts:
    // a saved scan can be put back here, and the engine then goes on from its saved block. A
    // failure ends DoScan with that code.
    using PrepareFn = std::function<KivResult(IKivScanDev* pEngine, IKivDevStor* pStor)>;
    void SetPrepare(PrepareFn fn) { m_prepare = std::move(fn); }
    // The engine hands its state to pSink now and then while it scans (null: never).
    void SetCheckpointSink(IKivScanCheckpoint* pSink) { m_pCheckpoint = pSink; }
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
    KivResult Run(IKivScanDev* pEngine, const KivFilterSettings& settings);

    CDataBackstage& m_backstage;
    CKivScan m_scan;
    double m_dSaveEvery = 60;
    std::string m_strSessionError;
    PrepareFn m_prepare;
    IKivScanCheckpoint* m_pCheckpoint = nullptr;
    uint64_t m_nFirstBlock = 0;
    static inline std::atomic<uint64_t> s_nTestStopAfterBlocks{0};
};
