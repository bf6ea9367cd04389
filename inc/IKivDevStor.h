// Read-only store of fixed-size sectors addressed by 64-bit sector numbers.
#pragma once

#include "KivCommon.h"

class IKivDevStor : public IKivCommon {
public:
    // Nonzero on success. pBuf must hold nCount * GetSectorSize() bytes.
    virtual int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) = 0;
    virtual uint64_t GetSectorCount() = 0;
    virtual uint32_t GetSectorSize() = 0;
    virtual int Open() = 0;   // 1 when ready to read
    virtual int Close() = 0;  // 1
    // The storage this one translates (only the 512-byte view has one), or null.
    virtual IKivDevStor* GetBaseStor() = 0;

    int32_t m_nReserved = 0;
    // The 512-byte view made on demand by the engine's GetRecoverStor; owned by this storage.
    IKivDevStor* m_pRecoverView = nullptr;

protected:
    ~IKivDevStor() override {
        if (m_pRecoverView) m_pRecoverView->Release();
    }
};

// Served by KivEnumDevEx under the interface name "IKivImageDev": opens a regular image file or a
// block device read-only as an IKivDevStor.
class IKivImageDev : public IKivCommon {
public:
    // nSectorSize 0 means: the kernel's logical sector size for block devices, 512 for files.
    // Other values must be positive multiples of 512. On success *ppStor holds a new storage.
    virtual KivResult OpenImage(const char* pszPath, uint32_t nSectorSize, IKivDevStor** ppStor) = 0;
};
