// Linux back end of the wildcards: the C library's fnmatch.
#include "platform/KivFnMatch.h"

#include <fnmatch.h>

bool KivFnMatch(const std::string& strPattern, const std::string& strText, bool bCaseBlind) {
    return ::fnmatch(strPattern.c_str(), strText.c_str(), bCaseBlind ? FNM_CASEFOLD : 0) == 0;
}
