// Linux back end of the digests: libcrypto.
#include "platform/KivDigest.h"

#include <openssl/evp.h>

CKivDigest::CKivDigest(Kind kind) : m_kind(kind) {
    EVP_MD_CTX* p = EVP_MD_CTX_new();
    m_pCtx = p;
    m_bOk = p && EVP_DigestInit_ex(p, kind == Kind::kSha256 ? EVP_sha256() : kind == Kind::kSha1 ? EVP_sha1() : EVP_md5(), nullptr) == 1;
}

CKivDigest::~CKivDigest() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_pCtx)); }

void CKivDigest::Add(const void* pData, size_t n) {
    if (m_bOk && n) m_bOk = EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_pCtx), pData, n) == 1;
}

std::vector<uint8_t> CKivDigest::Finish() {
    std::vector<uint8_t> out(EVP_MAX_MD_SIZE);
    unsigned n = 0;
    if (!m_bOk || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_pCtx), out.data(), &n) != 1) n = 0;
    m_bOk = false;
    out.resize(n);
    return out;
}
