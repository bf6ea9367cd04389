#include "KivAllocGuard.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include "KivLog.h"
#include "platform/KivMemory.h"

namespace {

void OnNewFailure() { KivAllocFailed(KivAllocSize::Pending()); }

}  // namespace

std::string KivMemoryStatusText(const std::string& strMeminfo) {
    KivMemStatus m;
    return KivParseMeminfo(strMeminfo, &m) ? KivMemoryStatusText(m) : std::string();
}

std::string KivMemoryStatusText(const KivMemStatus& m) {
    uint64_t nTotal = m.nTotal, nAvail = m.nAvail, nSwapTotal = m.nPageTotal, nSwapFree = m.nPageAvail;
    char sz[256];
    std::snprintf(sz, sizeof sz,
                  "Total physical memory:%4" PRId64 " MB\tAvailable physical memory:%4" PRId64 " MB\n"
                  "Total   page    files:%4" PRId64 " MB\tAvailable    page   files:%4" PRId64 " MB",
                  static_cast<int64_t>(nTotal >> 20), static_cast<int64_t>(nAvail >> 20),
                  static_cast<int64_t>(nSwapTotal >> 20), static_cast<int64_t>(nSwapFree >> 20));
    return sz;
}

void KivAllocFailed(uint64_t nBytes) {
    // Logging allocates too; should that fail as well, the handler is entered again: end at once.
    static std::atomic<bool> s_bFailing{false};
    if (s_bFailing.exchange(true)) std::abort();
    if (nBytes)
        KivLogA(0, "Failed to alloc 0x%08" PRIx64 " bytes", nBytes);
    else
        KivLogA(0, "Failed to alloc memory (size not known)");
    KivMemStatus m;
    std::string status = KivQueryMemStatus(&m) ? KivMemoryStatusText(m) : std::string();
    if (status.empty()) {
        KivLogA(0, "Failed to query memory status.");
    } else {
        KivLogA(0, "Memory status:");
        size_t nBreak = status.find('\n');
        KivLogA(0, "%s", status.substr(0, nBreak).c_str());
        KivLogA(0, "%s", status.substr(nBreak + 1).c_str());
    }
    std::abort();
}

void KivInstallAllocGuard() {
    static std::once_flag once;
    std::call_once(once, [] { std::set_new_handler(OnNewFailure); });
}
