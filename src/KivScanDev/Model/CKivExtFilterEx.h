// The engine's extension filter: which file names the file-system scanners keep and which carving
// types are searched. Mode 0 keeps only the listed extensions, 1 all but them, 2 everything.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "KivCommon.h"

class CKivExtFilterEx {
public:
    enum : int32_t { MODE_ONLY = 0, MODE_EXCEPT = 1, MODE_ALL = 2 };

    void SetMode(int32_t nMode) { m_nMode = nMode; }
    int32_t GetMode() const { return m_nMode; }
    // Extensions without the dot; stored lower-cased.
    void SetExts(const std::vector<std::string>& exts);
    void AddExt(const std::string& ext);
    const std::set<std::string>& GetExts() const { return m_exts; }

    // The text after the last '.' or '\' of the name, lower-cased (the whole name when it has
    // neither). A null name is an invalid-argument error (logged) and gives an empty extension.
    KivResult GetExtLowName(const char* pszName, std::string* pExt) const;
    bool IsNameKept(const char* pszName) const;
    // The file-system scanners' rule: folders always; a name without '.' unless in mode 0;
    // otherwise IsNameKept of the text after the last '.'.
    bool IsFileNameKept(const char* pszName, bool bIsDir) const;
    // Fixed ids from 1 whose extension is kept (all of them in mode 2).
    std::vector<uint32_t> SelectedTypeIds() const;

private:
    int32_t m_nMode = MODE_ALL;
    std::set<std::string> m_exts;
};
