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
