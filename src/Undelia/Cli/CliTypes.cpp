#include "CliTypes.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "IKivFilter.h"
#include "KivModuleLoader.h"
#include "Model/RawTypeTable.h"

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The catalogue's extensions; none when the filter library or its file cannot be read.
std::set<std::string> CatalogueExtensions() {
    std::set<std::string> out;
    auto* pFilter = static_cast<IKivFilter*>(KivLoadModule("KivFilter", KIV_IID_FILTER));
    if (!pFilter) return out;
    std::vector<FilterItem> items;
    if (KivSucceeded(pFilter->Init("KivFilter.ini")) && KivSucceeded(pFilter->EnumTypes(&items)))
        for (const FilterItem& i : items) out.insert(i.extensions.begin(), i.extensions.end());
    pFilter->Release();
    return out;
}

}  // namespace

std::vector<CliFileType> CliKnownTypes() {
    std::vector<CliFileType> out;
    std::set<std::string> carved;
    const RawTypeTable& t = RawTypeTable::Get();
    // Id 0 is the "Raw" placeholder; 74 stands for every user-defined header.
    for (uint32_t id = 1; id < RawTypeTable::kFixedCount; ++id) {
        std::string ext = Lower(t.GetExt(id));
        if (ext.empty() || !carved.insert(ext).second) continue;
        out.push_back({ext, t.GetFolderOrExt(id)});
    }
    for (const std::string& ext : CatalogueExtensions())
        if (!carved.count(ext)) out.push_back({ext, ""});
    return out;
}

bool CliCheckTypes(const std::string& strTypes, std::string* pError) {
    std::vector<std::string> asked = CliSplitTypes(strTypes);
    if (asked.empty()) return true;
    std::vector<CliFileType> known = CliKnownTypes();
    std::vector<std::string> unknown;
    for (const std::string& a : asked)
        if (std::none_of(known.begin(), known.end(), [&](const CliFileType& k) { return k.ext == a; }))
            unknown.push_back(a);
    if (unknown.empty()) return true;
    std::string s = "unknown file type";
    s += unknown.size() > 1 ? "s " : " ";
    for (size_t i = 0; i < unknown.size(); ++i) s += (i ? ", '" : "'") + unknown[i] + "'";
    s += " in --types; known types:";
    std::vector<std::string> names;
    for (const CliFileType& k : known) names.push_back(k.ext);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) s += " " + n;
    s += " (undelia-cli types describes them)";
    *pError = s;
    return false;
}

std::string CliJoinTypes(const std::string& strTypes) {
    std::string out;
    for (const std::string& s : CliSplitTypes(strTypes)) out += (out.empty() ? "" : ",") + s;
    return out;
}

std::vector<std::string> CliSplitTypes(const std::string& strTypes) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i <= strTypes.size()) {
        size_t j = strTypes.find_first_of(", ", i);
        if (j == std::string::npos) j = strTypes.size();
        std::string s = strTypes.substr(i, j - i);
        while (!s.empty() && s.front() == '.') s.erase(s.begin());
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!s.empty() && std::find(out.begin(), out.end(), s) == out.end()) out.push_back(s);
        i = j + 1;
    }
    return out;
}
