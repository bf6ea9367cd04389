#include "KivScanConfig.h"

#include <cctype>
#include <cstdlib>

#include "KivLog.h"
#include "platform/KivIniFile.h"
#include "platform/KivPlatform.h"

std::string KivScanConfigPath() {
    if (const char* p = std::getenv("UNDELIA_CONFIG_INI"); p && *p) return p;
    return KivDebugConfigPath();
}

uint64_t KivReadScanStartSector() {
    std::string path = KivScanConfigPath();
    CKivIniFile ini;
    std::string value;
    if (path.empty() || !ini.Load(path) || !ini.Find("main", "pos", &value) || value.empty()) return 0;
    uint64_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9' || n > (UINT64_MAX - static_cast<uint64_t>(c - '0')) / 10) {
            KivLogA(0, "Ignoring start position \"%s\" of %s", value.c_str(), path.c_str());
            return 0;
        }
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    KivLogA(0, "Scan starts at sector %llu (from %s)", static_cast<unsigned long long>(n), path.c_str());
    return n;
}

KivScannerSet KivParseScannerSet(const char* pszList, std::string* pUnknown) {
    if (pUnknown) pUnknown->clear();
    if (!pszList || !*pszList) return {};
    KivScannerSet set{false, false, false, false, false};
    std::string word;
    for (const char* p = pszList;; ++p) {
        if (*p && *p != ',' && *p != ' ') {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
            continue;
        }
        if (word == "fat")
            set.bFat = true;
        else if (word == "ntfs")
            set.bNtfs = true;
        else if (word == "raw")
            set.bRaw = true;
        else if (word == "exfat")
            set.bExFat = true;
        else if (word == "ext")
            set.bExt = true;
        else if (!word.empty() && word != "none") {
            KivLogA(0, "Unknown scanner \"%s\" ignored", word.c_str());
            if (pUnknown) *pUnknown += (pUnknown->empty() ? "" : ",") + word;
        }
        word.clear();
        if (!*p) break;
    }
    return set;
}

KivScannerSet KivReadScannerSet() { return KivParseScannerSet(std::getenv("UNDELIA_SCANNERS")); }

std::string KivUnknownScanners() {
    std::string unknown;
    KivParseScannerSet(std::getenv("UNDELIA_SCANNERS"), &unknown);
    return unknown;
}
