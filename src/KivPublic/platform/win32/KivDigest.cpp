// Windows back end of the digests: the system's CNG (bcrypt.dll).
#include "platform/KivDigest.h"

#include "KivWin32.h"

#include <bcrypt.h>

CKivDigest::CKivDigest(Kind kind) : m_kind(kind) {
    BCRYPT_ALG_HANDLE hAlg = nullptr;
    BCRYPT_HASH_HANDLE hHash = nullptr;
    if (BCryptOpenAlgorithmProvider(&hAlg, kind == Kind::kSha256 ? BCRYPT_SHA256_ALGORITHM : kind == Kind::kSha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_MD5_ALGORITHM,
                                    nullptr, 0) != 0)
        return;
    m_pAlg = hAlg;
    // The object buffer is the provider's own when none is given (Windows 7 and later).
    if (BCryptCreateHash(hAlg, &hHash, nullptr, 0, nullptr, 0, 0) != 0) return;
    m_pCtx = hHash;
    m_bOk = true;
}

CKivDigest::~CKivDigest() {
    if (m_pCtx) BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_pCtx));
    if (m_pAlg) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(m_pAlg), 0);
}

void CKivDigest::Add(const void* pData, size_t n) {
    const auto* p = static_cast<const UCHAR*>(pData);
    while (m_bOk && n) {
        ULONG k = n > (1u << 30) ? (1u << 30) : static_cast<ULONG>(n);
        m_bOk = BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_pCtx), const_cast<UCHAR*>(p), k, 0) == 0;
        p += k;
        n -= k;
    }
}

std::vector<uint8_t> CKivDigest::Finish() {
    std::vector<uint8_t> out(m_kind == Kind::kSha256 ? 32 : m_kind == Kind::kSha1 ? 20 : 16);
    if (!m_bOk ||
        BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_pCtx), out.data(), static_cast<ULONG>(out.size()), 0) != 0)
        out.clear();
    m_bOk = false;
    return out;
}
