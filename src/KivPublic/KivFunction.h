// String, path, size and time helpers shared by every deliverable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KivCommon.h"

// Splits an extension list such as ".doc.docx.xls" into its extensions: each piece after a "."
// is cut at its first blank, empty pieces are skipped, the result is sorted ascending. An empty
// list fails with 0x002.
KivResult StrExts2VecExtWsNames(const wchar_t* pszList, std::vector<std::wstring>* pOut);
KivResult StrExts2VecExtNames(const wchar_t* pszList, std::vector<std::string>* pOut);
KivResult StrExts2VecExtNames(const char* pszList, std::vector<std::string>* pOut);

// UTF-8 form of a wide text of at most 2048 bytes; KIV_FAIL for an empty or longer text.
KivResult KivWideToNarrow(const wchar_t* pszWide, std::string* pOut);

// The executable's folder joined with the file-name part of pszName; false for an empty name or
// one that ends in a separator.
bool KivPathBesideExe(const char* pszName, std::string* pOut);
// "<exe dir>/<name>", with the name's own folder part dropped first when bStripDir is set.
std::string KivFilePathFromExeDir(const char* pszName, bool bStripDir);

// Short size text: "0 B", "512 B", "1.50 KB", "5.00 MB" ...
std::string KivSizeText(uint64_t nBytes);
// Where a damaged file holds zeros: ": bytes 512-1023, 4096-8191 (1536 bytes)" (ends inclusive, the
// first eight ranges named), empty without ranges.
struct KivByteRange;
std::string KivByteRangesText(const KivByteRange* pRanges, size_t nRanges);
// Seconds as " h:mm:ss".
std::string KivTimeText(uint64_t nSeconds);
