// The recovery driver: copies one file (DoFileRecover) or the ticked entries of one partition
// (DoDirRecover) through the engine, waiting in 10 ms slices and pumping between them. One
// driver can serve the partitions of one recovery run: its counters and totals span them all.
#pragma once

#include <string>

#include "CKivFileRecover.h"
#include "IKivUiSink.h"

class CProgressRecover {
public:
    // pReport (may be null): the record of the recovery, fed file by file.
    CProgressRecover(IKivScanDev* pEngine, IKivProgressSink* pSink, CKivRecoveryReport* pReport = nullptr);

    // What the bars count towards; the counters start again at 0.
    void Start(uint32_t nFiles, uint64_t nBytes);
    void SetNode(IKivFileNode* pNode) { m_pNode = pNode; }

    // Writes the node into the folder under the file's own name (made safe to use as one name;
    // "unkown" without an attribute), creating missing folders (0x001 when that fails). 0x005
    // without engine or node. *pPath gets the file written.
    KivResult DoFileRecover(const std::string& strFolder, std::string* pPath);
    // Recovers the node's ticked entries into a new folder below strFolder (*pCreated). 0x041
    // when the user stopped it.
    KivResult DoDirRecover(const std::string& strFolder, std::string* pCreated);

    // The stop button: stops at the next file unless every file is done already.
    void RequestStop();
    bool AskStop(IKivPrompt& prompt);
    bool WasStopped() const { return m_callback.IsStopped(); }
    const CKivFileRecover& Counters() const { return m_callback; }

    // A file name that stays one entry of the folder: separators and control characters become
    // "_", and "." and ".." become "_".
    static std::string SafeFileName(const std::string& strName);

private:
    KivResult Wait();

    IKivScanDev* m_pEngine;
    IKivFileNode* m_pNode = nullptr;
    CKivFileRecover m_callback;
};
