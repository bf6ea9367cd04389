// Windows back end of the memory helpers: _aligned_malloc and GlobalMemoryStatusEx.
#include "platform/KivMemory.h"

#include <malloc.h>

#include "KivWin32.h"

void* KivAlignedAlloc(size_t nAlign, size_t nBytes) { return _aligned_malloc(nBytes, nAlign); }

void KivAlignedFree(void* p) { _aligned_free(p); }

void KivAdviseHugePages(void*, size_t) {
    // Large pages need a privilege ordinary users lack; the ring works as well without them.
}

bool KivQueryMemStatus(KivMemStatus* pOut) {
    MEMORYSTATUSEX m{};
    m.dwLength = sizeof m;
    if (!GlobalMemoryStatusEx(&m)) return false;
    pOut->nTotal = m.ullTotalPhys;
    pOut->nAvail = m.ullAvailPhys;
    pOut->nPageTotal = m.ullTotalPageFile;
    pOut->nPageAvail = m.ullAvailPageFile;
    return true;
}
