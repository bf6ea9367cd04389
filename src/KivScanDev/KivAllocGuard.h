// Out of memory inside the scan engine is fatal: the guard logs the failed request and the
// machine's memory status, then aborts (the crash handler takes over from there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "KivAllocSize.h"

// Installs the guard as the process's new-handler (once; later calls do nothing).
void KivInstallAllocGuard();

// Logs "Failed to alloc ..." with nBytes (0: not known) and the memory status, then aborts.
[[noreturn]] void KivAllocFailed(uint64_t nBytes);

// The memory-status lines the guard logs, from the given /proc/meminfo text; empty when the text
// lacks the figures.
std::string KivMemoryStatusText(const std::string& strMeminfo);
struct KivMemStatus;
std::string KivMemoryStatusText(const KivMemStatus& m);
