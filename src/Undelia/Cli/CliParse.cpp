#include "CliParse.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "platform/KivPlatform.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Reads exactly n digits at s[i].
bool Digits(const std::string& s, size_t& i, int n, int* pOut) {
    int v = 0;
    for (int k = 0; k < n; ++k, ++i) {
        if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        v = v * 10 + (s[i] - '0');
    }
    *pOut = v;
    return true;
}

// One ISO 8601 time; bEnd makes a missing part its last moment (the end of that day, minute or
// second).
bool ParseTime(const std::string& text, bool bEnd, uint64_t* pOut) {
    std::string s = Trim(text);
    size_t i = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    if (!Digits(s, i, 4, &y) || i >= s.size() || s[i++] != '-' || !Digits(s, i, 2, &mo) || i >= s.size() ||
        s[i++] != '-' || !Digits(s, i, 2, &d))
        return false;
    int nParts = 1;  // date; 2 with minutes; 3 with seconds
    if (i < s.size() && (s[i] == 'T' || s[i] == 't' || s[i] == ' ')) {
        ++i;
        if (!Digits(s, i, 2, &h) || i >= s.size() || s[i++] != ':' || !Digits(s, i, 2, &mi)) return false;
        nParts = 2;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!Digits(s, i, 2, &se)) return false;
            nParts = 3;
        }
    }
    int64_t nOffset = 0;  // seconds east of UTC
    if (i < s.size()) {
        if (s[i] == 'Z' || s[i] == 'z') {
            ++i;
        } else if (s[i] == '+' || s[i] == '-') {
            int sign = s[i++] == '-' ? -1 : 1, oh = 0, om = 0;
            if (!Digits(s, i, 2, &oh)) return false;
            if (i < s.size() && s[i] == ':') ++i;
            if (i < s.size() && !Digits(s, i, 2, &om)) return false;
            if (oh > 23 || om > 59) return false;
            nOffset = sign * (oh * 3600 + om * 60);
        }
    }
    if (i != s.size()) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 60 || y < 1601) return false;
    struct tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = se;
    struct tm check = t;
    time_t secs = static_cast<time_t>(KivTimeFromUtc(&t));
    if (t.tm_mday != check.tm_mday || t.tm_mon != check.tm_mon) return false;  // 2024-02-31 and the like
    int64_t nSpan = nParts == 1 ? 86400 : nParts == 2 ? 60 : 1;
    int64_t nUnix = static_cast<int64_t>(secs) - nOffset;
    if (nUnix < -11644473600ll) return false;  // before 1601
    uint64_t ft = KivUnixToFileTime(nUnix);
    *pOut = bEnd ? ft + static_cast<uint64_t>(nSpan) * 10000000ull - 1 : ft;
    return true;
}

}  // namespace

bool CliParseSize(const std::string& strText, uint64_t* pBytes) {
    std::string s = Trim(strText);
    size_t i = 0;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
    if (i == 0) return false;
    std::string num = s.substr(0, i), unit;
    for (char c : Trim(s.substr(i))) unit += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (num.find('.') != num.rfind('.')) return false;
    int nPow = 0;
    if (!unit.empty()) {
        static const char kUnits[] = "BKMGTP";
        size_t p = std::string(kUnits).find(unit[0]);
        if (p == std::string::npos) return false;
        std::string rest = unit.substr(1);
        if (unit == "B")
            nPow = 0;
        else if (rest.empty() || rest == "B" || rest == "IB")
            nPow = static_cast<int>(p);
        else
            return false;
    }
    char* end = nullptr;
    long double v = std::strtold(num.c_str(), &end);
    if (!end || *end) return false;
    v *= std::pow(1024.0L, nPow);
    if (!(v >= 0) || v > 18446744073709551615.0L) return false;
    *pBytes = v + 0.5L >= 18446744073709551615.0L ? UINT64_MAX : static_cast<uint64_t>(v + 0.5L);
    return true;
}

bool CliParseTimeRange(const std::string& strText, uint64_t* pFrom, uint64_t* pTo) {
    size_t dots = strText.find("..");
    if (dots == std::string::npos) return false;
    std::string from = Trim(strText.substr(0, dots)), to = Trim(strText.substr(dots + 2));
    if (from.empty() && to.empty()) return false;
    uint64_t a = 0, b = UINT64_MAX;
    if (!from.empty() && !ParseTime(from, false, &a)) return false;
    if (!to.empty() && !ParseTime(to, true, &b)) return false;
    if (a > b) return false;
    *pFrom = a;
    *pTo = b;
    return true;
}
