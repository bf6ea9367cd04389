// The desktop program's "Save scan..." and "Open saved scan...": a scan the back-stage holds goes
// into a session file; a session file comes back as the back-stage's scan, over the medium it was
// saved for, found again by its path. A complete scan is then ready for the results; an
// unfinished one is gone on with by the next CProgressScan::DoScan.
#pragma once

#include <functional>
#include <string>

#include "KivCommon.h"

class CDataBackstage;
class IKivDevStor;

class CKivSessionDriver {
public:
    explicit CKivSessionDriver(CDataBackstage& backstage) : m_backstage(backstage) {}

    // Saves the back-stage's scan (finished or stopped) into strFile, replacing it. 0x003 when
    // there is no scan, 0x05D when the file would lie on the medium being read; otherwise failures
    // answer 0x020. *pWhy says why in one line.
    KivResult Save(const std::string& strFile, std::string* pWhy);

    // What Open found in the file.
    struct Opened {
        bool bComplete = false;  // the scan was complete: its partitions are then the scan result
        uint64_t nBlocksDone = 0, nBlocks = 0;
        std::string strTypes;  // the file types it was made with, as the session names them
    };
    // Reads strFile, finds its medium (pStor, opened from strPath, when given; else by the path
    // saved: a disk or partition of the device lists, or an image or device opened read-only) and
    // hands the saved scan to a fresh engine on it. The medium becomes the back-stage's direct
    // device. An unfinished scan is then gone on with by the next CProgressScan::DoScan, saving
    // into strFile as it goes; with bReadOnly the caller only reads finished scans and will not go
    // on, so the file's place is not checked.
    // 0x002 for a file that is no session (damaged, cut, another version, a state the engine
    // refuses), 0x05D for an unfinished scan whose file lies on its medium (it would be written as
    // the scan goes on), 0x030 when the medium cannot be found or opened, 0x015 when the medium found is
    // another one or its ends cannot be read; *pWhy in one line.
    // Until the file and its medium have passed their checks the back-stage's scan stays as it
    // was; fnBeforeReset (may be empty) is called just before it is replaced, so that a front end
    // lets go of the trees it shows.
    KivResult Open(const std::string& strFile, IKivDevStor* pStor, const std::string& strPath, bool bReadOnly,
                   Opened* pOpened, std::string* pWhy, const std::function<void()>& fnBeforeReset = {});
    // The same for a medium found by the saved path; *pbComplete as Opened::bComplete.
    KivResult Open(const std::string& strFile, IKivDevStor* pStor, bool* pbComplete, std::string* pWhy,
                   const std::function<void()>& fnBeforeReset = {});

private:
    // The medium a session names: a device record of the right size, else the path opened.
    IKivDevStor* FindMedium(const std::string& strPath, uint64_t nBytes, uint32_t nSectorSize, std::string* pWhy);

    CDataBackstage& m_backstage;
};
