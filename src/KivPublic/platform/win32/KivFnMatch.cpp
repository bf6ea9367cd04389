// Windows back end of the wildcards: the C library has no fnmatch, so they are matched here, as
// glibc's fnmatch does without FNM_PATHNAME, FNM_PERIOD or FNM_NOESCAPE.
#include "platform/KivFnMatch.h"

#include <cstddef>

namespace {

char Fold(char c, bool bBlind) { return bBlind && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A set at p[i] (just past '['): whether c is in it, and where the set ends (npos when the set is
// not closed, so that '[' stands for itself).
bool InSet(const std::string& p, size_t i, char c, bool bBlind, size_t* pEnd) {
    bool bNeg = i < p.size() && (p[i] == '!' || p[i] == '^');
    if (bNeg) ++i;
    bool bIn = false, bFirst = true;
    c = Fold(c, bBlind);
    while (i < p.size() && (bFirst || p[i] != ']')) {
        bFirst = false;
        char lo = p[i] == '\\' && i + 1 < p.size() ? p[++i] : p[i];
        ++i;
        char hi = lo;
        if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
            hi = p[i + 1] == '\\' && i + 2 < p.size() ? p[i + 2] : p[i + 1];
            i += p[i + 1] == '\\' ? 3 : 2;
        }
        lo = Fold(lo, bBlind), hi = Fold(hi, bBlind);
        if (lo <= c && c <= hi) bIn = true;
    }
    if (i >= p.size()) {
        *pEnd = std::string::npos;
        return false;
    }
    *pEnd = i + 1;
    return bIn != bNeg;
}

}  // namespace

bool KivFnMatch(const std::string& p, const std::string& t, bool bBlind) {
    // Greedy with one point to go back to: the last '*' and where its match would grow.
    size_t i = 0, j = 0, nStar = std::string::npos, nStarText = 0;
    while (j < t.size()) {
        if (i < p.size()) {
            char c = p[i];
            if (c == '*') {
                nStar = ++i;
                nStarText = j;
                continue;
            }
            if (c == '?') {
                ++i, ++j;
                continue;
            }
            if (c == '[') {
                size_t nEnd = 0;
                bool bIn = InSet(p, i + 1, t[j], bBlind, &nEnd);
                if (nEnd != std::string::npos) {
                    if (bIn) {
                        i = nEnd, ++j;
                        continue;
                    }
                } else if (t[j] == '[') {
                    ++i, ++j;
                    continue;
                }
            } else {
                if (c == '\\' && i + 1 < p.size()) c = p[++i];
                if (Fold(c, bBlind) == Fold(t[j], bBlind)) {
                    ++i, ++j;
                    continue;
                }
            }
        }
        if (nStar == std::string::npos) return false;
        i = nStar;
        j = ++nStarText;
    }
    while (i < p.size() && p[i] == '*') ++i;
    return i == p.size();
}
