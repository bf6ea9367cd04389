#include "KivAllocGuard.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>

#include "KivLog.h"

namespace {

// A figure of /proc/meminfo in bytes; false when the key is missing.
bool MeminfoBytes(const std::string& text, const char* pszKey, uint64_t* pBytes) {
    std::istringstream in(text);
    std::string line;
    std::string key = std::string(pszKey) + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        unsigned long long nKb = 0;
        if (std::sscanf(line.c_str() + key.size(), "%llu", &nKb) != 1) return false;
        *pBytes = static_cast<uint64_t>(nKb) * 1024;
        return true;
    }
    return false;
}

void OnNewFailure() { KivAllocFailed(KivAllocSize::Pending()); }

}  // namespace

std::string KivMemoryStatusText(const std::string& strMeminfo) {
    uint64_t nTotal = 0, nAvail = 0, nSwapTotal = 0, nSwapFree = 0;
    if (!MeminfoBytes(strMeminfo, "MemTotal", &nTotal) || !MeminfoBytes(strMeminfo, "SwapTotal", &nSwapTotal) ||
        !MeminfoBytes(strMeminfo, "SwapFree", &nSwapFree))
        return {};
    if (!MeminfoBytes(strMeminfo, "MemAvailable", &nAvail)) MeminfoBytes(strMeminfo, "MemFree", &nAvail);
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
    std::ifstream in("/proc/meminfo");
    std::stringstream text;
    text << in.rdbuf();
    std::string status = in ? KivMemoryStatusText(text.str()) : std::string();
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
