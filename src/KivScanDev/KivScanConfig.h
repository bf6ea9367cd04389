// Settings of a scan that come from outside the caller's request: the debugging start position and
// the scanner subset.
#pragma once

#include <cstdint>
#include <string>

// The ini file holding the debugging start position: $UNDELIA_CONFIG_INI when set, else
// $XDG_CONFIG_HOME/undelia/config.ini (XDG_CONFIG_HOME defaulting to ~/.config). Empty when
// neither can be formed.
std::string KivScanConfigPath();

// Key "pos" of section "main" of that file: the sector where a scan starts. 0 when the file, the
// key or a clean unsigned number is missing.
uint64_t KivReadScanStartSector();

// Which scanners a new engine makes, from $UNDELIA_SCANNERS ("fat,ntfs,exfat,ext,raw" in any order
// and case, "none" for none; unset or empty means all of them). Unknown names are logged and
// ignored by the engine; front ends refuse them before a scan (KivUnknownScanners).
struct KivScannerSet {
    bool bFat = true;
    bool bNtfs = true;
    bool bRaw = true;
    bool bExFat = true;
    bool bExt = true;
};
KivScannerSet KivReadScannerSet();
// The same rule over a given text (for tests and callers that do not use the environment).
// pUnknown (may be null) receives the names that are no scanner, comma-separated.
KivScannerSet KivParseScannerSet(const char* pszList, std::string* pUnknown = nullptr);
// The names of $UNDELIA_SCANNERS that are no scanner, comma-separated; empty when all are known.
std::string KivUnknownScanners();
