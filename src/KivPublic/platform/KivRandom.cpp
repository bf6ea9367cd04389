#include "platform/KivRandom.h"

#include <sys/random.h>

#include <cerrno>

bool KivRandomBytes(void* pBuf, size_t nSize) {
    auto* p = static_cast<unsigned char*>(pBuf);
    while (nSize) {
        ssize_t n = ::getrandom(p, nSize, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        nSize -= static_cast<size_t>(n);
    }
    return true;
}

bool KivCreateGuid(KivGuid* pGuid) {
    if (!pGuid || !KivRandomBytes(pGuid, sizeof(*pGuid))) return false;
    // RFC 4122 version 4, variant 10xx, as system GUID generators make them.
    pGuid->Data3 = static_cast<uint16_t>((pGuid->Data3 & 0x0FFF) | 0x4000);
    pGuid->Data4[0] = static_cast<uint8_t>((pGuid->Data4[0] & 0x3F) | 0x80);
    return true;
}
