// Memory of the platform layer: aligned blocks and the machine's memory status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// nBytes aligned to nAlign (a power of two, nBytes a multiple of it); null when none is had.
// Freed with KivAlignedFree only.
void* KivAlignedAlloc(size_t nAlign, size_t nBytes);
void KivAlignedFree(void* p);
// Asks for large pages behind a block the program rewrites over and over; a hint only.
void KivAdviseHugePages(void* p, size_t nBytes);

struct KivMemStatus {
    uint64_t nTotal = 0, nAvail = 0;          // physical memory
    uint64_t nPageTotal = 0, nPageAvail = 0;  // swap (Linux) or page files (Windows)
};
// False when the system does not tell.
bool KivQueryMemStatus(KivMemStatus* pOut);
// The figures of a /proc/meminfo text (MemAvailable, else MemFree); false when one is missing.
bool KivParseMeminfo(const std::string& strText, KivMemStatus* pOut);

struct KivAlignedDeleter {
    void operator()(void* p) const { KivAlignedFree(p); }
};
