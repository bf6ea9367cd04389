// The file-type catalogue and the filter settings built from the user's choice, served by
// KivFilter under the interface name "IKivFilter".
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "KivCommon.h"

#define KIV_IID_FILTER "IKivFilter"

// One catalogue entry: one section of the catalogue file. Texts are UTF-8; extensions are lower
// case, without the dot, sorted ascending.
struct FilterItem {
    std::string section;
    std::string name;
    std::string descript;
    std::string detail;
    std::vector<std::string> extensions;
};

// What the engine's extension filter is given: mode 0 keeps only the listed extensions, 1 keeps
// all but the listed ones, 2 keeps everything (then the set is empty).
struct KivFilterSet {
    int32_t nMode = 2;
    std::set<std::string> exts;  // lower case, without the dot

    bool operator==(const KivFilterSet&) const = default;
};

class IKivFilter : public IKivCommon {
public:
    // Places the file name (its folder part is dropped) beside the executable. 0x004 when already
    // initialised, 0x002 for an unusable name, 0x010 when no such file exists.
    virtual KivResult Init(const char* pszFileName) = 0;
    // 0x004 when not initialised.
    virtual KivResult Uninit() = 0;
    // Reads the catalogue anew: one entry per section, in file order; a section that cannot be
    // read is left out. 0x004 when not initialised.
    virtual KivResult EnumTypes(std::vector<FilterItem>* pItems) = 0;
    // Settings from one extension list, or from the extensions of every given entry. Mode 2, or
    // nothing listed, gives mode 2 with an empty set. 0x004 when not initialised.
    virtual KivResult CreateFilter(int32_t nMode, const std::vector<std::string>& exts, KivFilterSet* pOut) = 0;
    virtual KivResult CreateFilter(int32_t nMode, const std::vector<FilterItem>& items, KivFilterSet* pOut) = 0;
};
