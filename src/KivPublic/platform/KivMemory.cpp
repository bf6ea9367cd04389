// Linux back end of the memory helpers: aligned_alloc, madvise and /proc/meminfo.
#include "platform/KivMemory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

void* KivAlignedAlloc(size_t nAlign, size_t nBytes) { return std::aligned_alloc(nAlign, nBytes); }

void KivAlignedFree(void* p) { std::free(p); }

void KivAdviseHugePages(void* p, size_t nBytes) { ::madvise(p, nBytes, MADV_HUGEPAGE); }

bool KivQueryMemStatus(KivMemStatus* pOut) {
    std::ifstream in("/proc/meminfo");
    std::stringstream ss;
    ss << in.rdbuf();
    if (!in) return false;
    return KivParseMeminfo(ss.str(), pOut);
}
