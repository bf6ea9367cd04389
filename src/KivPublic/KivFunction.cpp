#include "KivFunction.h"

#include <algorithm>
#include <cstdio>

#include "IKivScanDev.h"
#include "KivLog.h"
#include "platform/KivPlatform.h"

namespace {

template <class S>
void SplitExts(const S& list, std::vector<S>* pOut) {
    using C = typename S::value_type;
    size_t end = list.size();
    // Walk backwards so that each "." starts one piece that runs to the next "." after it.
    for (size_t i = list.size(); i-- > 0;) {
        if (list[i] != C('.')) continue;
        S piece = list.substr(i + 1, end - i - 1);
        size_t blank = piece.find(C(' '));
        if (blank != S::npos) piece.resize(blank);
        if (!piece.empty()) pOut->push_back(piece);
        end = i;
    }
    std::sort(pOut->begin(), pOut->end());
}

const char* FileNamePart(const char* p) {
    const char* base = p;
    for (; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}

}  // namespace

KivResult StrExts2VecExtWsNames(const wchar_t* pszList, std::vector<std::wstring>* pOut) {
    if (!pOut) return KIV_RETERR(KIV_E_INVALIDARG);
    pOut->clear();
    if (!pszList || !*pszList) return KIV_RETERR(KIV_E_INVALIDARG);
    SplitExts(std::wstring(pszList), pOut);
    return KIV_OK;
}

KivResult StrExts2VecExtNames(const char* pszList, std::vector<std::string>* pOut) {
    if (!pOut) return KIV_RETERR(KIV_E_INVALIDARG);
    pOut->clear();
    if (!pszList || !*pszList) return KIV_RETERR(KIV_E_INVALIDARG);
    SplitExts(std::string(pszList), pOut);
    return KIV_OK;
}

KivResult StrExts2VecExtNames(const wchar_t* pszList, std::vector<std::string>* pOut) {
    if (!pOut) return KIV_RETERR(KIV_E_INVALIDARG);
    pOut->clear();
    if (!pszList || !*pszList) return KIV_RETERR(KIV_E_INVALIDARG);
    return StrExts2VecExtNames(KivWideToUtf8(pszList).c_str(), pOut);
}

KivResult KivWideToNarrow(const wchar_t* pszWide, std::string* pOut) {
    if (!pszWide || !*pszWide || !pOut) return KIV_FAIL;
    std::string s = KivWideToUtf8(pszWide);
    if (s.size() >= 2048) return KIV_FAIL;
    *pOut = std::move(s);
    return KIV_OK;
}

bool KivPathBesideExe(const char* pszName, std::string* pOut) {
    if (!pszName || !*pszName || !pOut) return false;
    const char* base = FileNamePart(pszName);
    if (!*base) return false;
    *pOut = KivGetExeDir() + "/" + base;
    return true;
}

std::string KivFilePathFromExeDir(const char* pszName, bool bStripDir) {
    const char* name = pszName ? pszName : "";
    if (bStripDir) name = FileNamePart(name);
    return KivGetExeDir() + "/" + name;
}

std::string KivByteRangesText(const KivByteRange* pRanges, size_t nRanges) {
    if (!pRanges || nRanges == 0) return {};
    constexpr size_t kShown = 8;
    uint64_t nBytes = 0;
    for (size_t i = 0; i < nRanges; ++i) nBytes += pRanges[i].nEnd - pRanges[i].nFirst;
    std::string s = nRanges == 1 && nBytes == 1 ? ": byte " : ": bytes ";
    for (size_t i = 0; i < nRanges && i < kShown; ++i) {
        if (i) s += ", ";
        s += std::to_string(pRanges[i].nFirst);
        // Appended piece by piece: "-" + std::to_string(...) trips a false -Wrestrict of g++ 12.
        if (pRanges[i].nEnd - pRanges[i].nFirst > 1) s.append("-").append(std::to_string(pRanges[i].nEnd - 1));
    }
    if (nRanges > kShown) s.append(" and ").append(std::to_string(nRanges - kShown)).append(" more ranges");
    return s.append(" (").append(std::to_string(nBytes)).append(" bytes)");
}

std::string KivSizeText(uint64_t nBytes) {
    if (nBytes == 0) return "0 B";
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    int u = 0;
    double d = static_cast<double>(nBytes);
    uint64_t rest = nBytes;
    for (;;) {
        if (rest < (1ull << 32) && rest >= 1024 && rest < 1048576) d = static_cast<double>(rest) / 1024.0;
        if (rest < 1024) break;
        rest /= 1024;
        if (++u == 6) return {};  // beyond petabytes: no text
    }
    char buf[64];
    std::snprintf(buf, sizeof(buf), u > 0 ? "%5.2f %s" : "%3.0f %s", d, kUnits[u]);
    std::string s = buf;
    size_t b = s.find_first_not_of(' ');
    size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string KivTimeText(uint64_t nSeconds) {
    char buf[48];
    std::snprintf(buf, sizeof(buf), " %d:%.2d:%.2d", static_cast<int>(nSeconds / 3600),
                  static_cast<int>(nSeconds / 60 % 60), static_cast<int>(nSeconds % 60));
    return buf;
}
