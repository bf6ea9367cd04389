// Stream over a regular file (stdio). Never used on devices.
#pragma once

#include <cstdio>

#include "KivCommon.h"
#include "KivScanResult.h"

class CKivFileStream : public IKivStream {
public:
    CKivFileStream() = default;
    ~CKivFileStream() override;
    CKivFileStream(const CKivFileStream&) = delete;
    CKivFileStream& operator=(const CKivFileStream&) = delete;

    // bWrite: create or truncate for writing; otherwise open for reading.
    KivResult Open(const char* pszPath, bool bWrite);
    // Flushes; answers an error when buffered bytes could not be written.
    KivResult Close();
    bool IsOpen() const { return m_pFile != nullptr; }

    int Read(void* pBuf, uint32_t nLen) override;
    int Write(const void* pBuf, uint32_t nLen) override;

private:
    FILE* m_pFile = nullptr;
};
