// Keeping a scan in a session file while it runs, and taking a saved scan over into an engine.
// What every front end does with sessions: the command line's --session and --resume, the desktop
// program's "Save scan..." and "Open saved scan...".
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "CKivScanSession.h"
#include "IKivScanDev.h"

class CKivSessionSaver : public IKivScanCheckpoint {
public:
    // Writes strFile every dEverySeconds of scanning (0: after every block) and when the scan
    // stops or ends. pStor (borrowed) is the medium scanned; its bad-area map goes along.
    CKivSessionSaver(std::string strFile, CKivScanSession::Medium medium, std::string strTypes, IKivDevStor* pStor,
                     double dEverySeconds);

    int WantCheckpoint(uint64_t nBlocksDone) override;
    void OnCheckpoint(const uint8_t* pState, uint64_t nBytes, uint64_t nBlocksDone, int bComplete) override;

    uint64_t Saves() const { return m_nSaves; }
    // The reason of the first save that failed; empty when every one succeeded.
    std::string FirstError() const;
    // Called after each successful save with the number of saves so far (tests stop the process
    // at a known save).
    void SetAfterSave(std::function<void(uint64_t)> fn) { m_fnAfterSave = std::move(fn); }

    // Writes a session of an engine whose scan has ended (a finished scan, or one stopped part-way).
    // medium is taken just before (its fingerprint reads through the map as it stands).
    static bool SaveNow(IKivScanDev* pEngine, const std::string& strFile, const CKivScanSession::Medium& medium,
                        const std::string& strTypes, IKivDevStor* pStor, std::string* pWhy);

private:
    static bool Write(const std::string& strFile, const CKivScanSession::Medium& medium, const std::string& strTypes,
                      IKivDevStor* pStor, const uint8_t* pState, uint64_t nBytes, uint64_t nDone, bool bComplete,
                      bool bRefresh, std::string* pWhy);

    std::string m_strFile;
    CKivScanSession::Medium m_medium;
    std::string m_strTypes;
    IKivDevStor* m_pStor;
    double m_dEvery;
    double m_dLast;
    bool m_bHadBadAreas = false;
    std::atomic<uint64_t> m_nSaves{0};
    mutable std::mutex m_mtx;
    std::string m_strError;
    std::function<void(uint64_t)> m_fnAfterSave;
};

// Putting a session read from strFile back, in two steps (CKivSessionDriver::Open takes them): the
// medium check, that it was saved for the medium pStor opened from strPath (it reads the medium's
// ends, skipping the session's bad areas); and the hand-over of the map and the state to pEngine
// (initialised on pStor, not yet scanning). The session's bad-area map goes back onto pStor first
// (only once the medium is known to be the one saved), so that no sector that failed is read
// again. False with a one-line reason: another medium, a state the engine refuses.
bool KivCheckSessionMedium(const CKivScanSession& s, const std::string& strFile, IKivDevStor* pStor,
                           const std::string& strPath, std::string* pWhy);
bool KivTakeOverSession(const CKivScanSession& s, const std::string& strFile, IKivScanDev* pEngine,
                        IKivDevStor* pStor, std::string* pWhy);
