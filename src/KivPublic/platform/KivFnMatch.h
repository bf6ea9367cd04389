// Shell wildcards as fnmatch(3) without flags reads them: '*' and '?' match any characters ('/'
// too), "[...]" a set with ranges, '!' or '^' negating it, '\' quoting the next character.
#pragma once

#include <string>

// bCaseBlind: ASCII letters match either case (FNM_CASEFOLD).
bool KivFnMatch(const std::string& strPattern, const std::string& strText, bool bCaseBlind);
