#include "CKivFileStream.h"

#include "KivLog.h"

CKivFileStream::~CKivFileStream() { Close(); }

KivResult CKivFileStream::Open(const char* pszPath, bool bWrite) {
    if (!pszPath) return KIV_RETERR(KIV_E_INVALIDARG);
    Close();
    m_pFile = std::fopen(pszPath, bWrite ? "wb" : "rb");
    if (!m_pFile) return KIV_RETERR(KIV_E_IO);
    return KIV_OK;
}

KivResult CKivFileStream::Close() {
    if (!m_pFile) return KIV_OK;
    int nErr = std::fclose(m_pFile);
    m_pFile = nullptr;
    if (nErr != 0) return KIV_RETERR(KIV_E_IO);
    return KIV_OK;
}

int CKivFileStream::Read(void* pBuf, uint32_t nLen) {
    if (!m_pFile) return 0;
    if (nLen == 0) return 1;
    return pBuf && std::fread(pBuf, 1, nLen, m_pFile) == nLen;
}

int CKivFileStream::Write(const void* pBuf, uint32_t nLen) {
    if (!m_pFile) return 0;
    if (nLen == 0) return 1;
    return pBuf && std::fwrite(pBuf, 1, nLen, m_pFile) == nLen;
}
