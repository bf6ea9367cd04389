// Message digests of the platform's cryptographic library (libcrypto on Linux, CNG on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CKivDigest {
public:
    enum class Kind { kSha256, kMd5, kSha1 };
    explicit CKivDigest(Kind kind);
    ~CKivDigest();
    CKivDigest(const CKivDigest&) = delete;
    CKivDigest& operator=(const CKivDigest&) = delete;

    // False once anything failed (the library is missing the algorithm, a call failed).
    bool Ok() const { return m_bOk; }
    void Add(const void* pData, size_t n);
    // The digest (32, 16 or 20 bytes); empty when anything failed. Ends the object's use.
    std::vector<uint8_t> Finish();

private:
    void* m_pCtx = nullptr;
    void* m_pAlg = nullptr;  // the algorithm provider of CNG
    Kind m_kind;
    bool m_bOk = false;
};
