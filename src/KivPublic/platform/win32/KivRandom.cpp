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
