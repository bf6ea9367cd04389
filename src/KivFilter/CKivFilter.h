// The file-type catalogue read from an ini file beside the program, and the filter settings made
// from the user's choice. The library only describes types; matching names is the engine's work.
#pragma once

#include <string>
#include <vector>

#include "IKivFilter.h"

class CKivIniFile;

class CKivFilter final : public IKivFilter {
public:
    CKivFilter() = default;
    ~CKivFilter() override;

    KivResult Init(const char* pszFileName) override;
    KivResult Uninit() override;
    KivResult EnumTypes(std::vector<FilterItem>* pItems) override;
    KivResult CreateFilter(int32_t nMode, const std::vector<std::string>& exts, KivFilterSet* pOut) override;
    KivResult CreateFilter(int32_t nMode, const std::vector<FilterItem>& items, KivFilterSet* pOut) override;

    // The catalogue file's full path: the file-name part of the argument beside the executable.
    // 0x002 for an empty name, one ending in a separator, or no known executable folder; 0x010
    // when that file does not exist or is a folder.
    static KivResult GetConfigFilePath(const char* pszFileName, std::string* pPath);
    // Extensions of an "exts" value: the pieces after each "." (empty ones skipped), lower case,
    // sorted. 0x002 for an empty value; a value without a dot gives none.
    static KivResult StrExts2VecExtNames(const std::string& value, std::vector<std::string>* pOut);

private:
    KivResult LoadSectionName(const CKivIniFile& ini, std::vector<std::string>* pNames) const;
    static KivResult LoadFilterItem(const CKivIniFile& ini, const std::string& section, FilterItem* pItem);
    static void Finish(int32_t nMode, std::set<std::string>&& exts, KivFilterSet* pOut);

    std::string m_path;  // empty: not initialised
};
