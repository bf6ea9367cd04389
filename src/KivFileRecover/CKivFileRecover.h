// Copies ticked result nodes out to a destination folder on the recovery thread.
#pragma once

#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"

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

private:
    struct Impl;
    Impl* m_pImpl;
};
