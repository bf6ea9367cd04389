// The /proc/meminfo text format (Linux's, parsed the same on every platform).
#include <cstdio>
#include <sstream>

#include "platform/KivMemory.h"

namespace {

// A figure of the text in bytes; false when the key is missing.
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

}  // namespace

bool KivParseMeminfo(const std::string& strText, KivMemStatus* pOut) {
    KivMemStatus m;
    if (!MeminfoBytes(strText, "MemTotal", &m.nTotal) || !MeminfoBytes(strText, "SwapTotal", &m.nPageTotal) ||
        !MeminfoBytes(strText, "SwapFree", &m.nPageAvail))
        return false;
    if (!MeminfoBytes(strText, "MemAvailable", &m.nAvail)) MeminfoBytes(strText, "MemFree", &m.nAvail);
    *pOut = m;
    return true;
}
