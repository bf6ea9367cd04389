// Copies ticked result nodes out to a destination folder on the recovery thread.
#pragma once

#include <cstdint>

#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"

// Counts of the last recovery (or the running one).
struct KivRecoverStats {
    uint64_t nFilesWritten;  // files copied to the end (damaged ones included)
    uint64_t nFilesFailed;
    uint64_t nFilesDamaged;  // written, but with unreadable or missing data replaced by zeros
    uint64_t nBytes;         // file data written
};

class CKivFileRecover {
public:
    CKivFileRecover();
    ~CKivFileRecover();
    // The device whose sectors the nodes' runs address (borrowed for the life of this object).
    void SetDevice(IKivDevStor* pDev);
    KivResult DoRecoverFile(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback, const char* pszDestFile);
    KivResult DoRecoverDir(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback, const char* pszDestDir,
                           char* pszCreated, uint32_t nCreatedSize);
    KivResult WaitForRecoverEnd(uint32_t nMs);
    KivRecoverStats GetStats() const;

private:
    struct Impl;
    Impl* m_pImpl;
};
