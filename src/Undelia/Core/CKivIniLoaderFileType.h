// The categories of the type view, read from "KivFileType.ini" beside the program: one category
// per section, in file order, each with its display name, description and extensions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KivCommon.h"

class CKivIniFile;

struct KivFileTypeCategory {
    int32_t nId = 0;  // position in the catalogue
    std::string section;
    std::string name;
    std::string descript;
    std::vector<std::string> exts;  // lower case, without the dot, sorted
};

class CKivIniLoaderFileType {
public:
    // The process-wide catalogue.
    static CKivIniLoaderFileType& Get();

    // Places the file name beside the executable: 0x002 when it cannot be placed, 0x010 when no
    // such file exists.
    KivResult GetConfigFilePath(const char* pszFileName);
    // Reads the whole catalogue anew (0x004 without a path, 0x010 when the file cannot be read or
    // holds no category). A section whose extension list cannot be split is left out.
    KivResult LoadFileTypeIni();
    const std::vector<KivFileTypeCategory>& Categories() const { return m_categories; }

private:
    KivResult LoadSectionName(const CKivIniFile& ini, std::vector<std::string>* pNames) const;
    static KivResult LoadFileType(const CKivIniFile& ini, const std::string& section, KivFileTypeCategory* pOut);

    std::string m_path;
    std::vector<KivFileTypeCategory> m_categories;
};
