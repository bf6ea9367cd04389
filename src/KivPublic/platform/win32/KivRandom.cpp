// Windows back end of the random source: the system's CNG generator.
#include "platform/KivRandom.h"

#include "KivWin32.h"

#include <bcrypt.h>

bool KivRandomBytes(void* pBuf, size_t nSize) {
    auto* p = static_cast<UCHAR*>(pBuf);
    while (nSize) {
        ULONG n = nSize > (1u << 30) ? (1u << 30) : static_cast<ULONG>(nSize);
        if (BCryptGenRandom(nullptr, p, n, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
        p += n;
        nSize -= n;
    }
    return true;
}

bool KivCreateGuid(KivGuid* pGuid) {
    if (!pGuid || !KivRandomBytes(pGuid, sizeof(*pGuid))) return false;
    // RFC 4122 version 4, variant 10xx, as CoCreateGuid makes them.
    pGuid->Data3 = static_cast<uint16_t>((pGuid->Data3 & 0x0FFF) | 0x4000);
    pGuid->Data4[0] = static_cast<uint8_t>((pGuid->Data4[0] & 0x3F) | 0x80);
    return true;
}
