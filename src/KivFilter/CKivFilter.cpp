#include "CKivFilter.h"

#include <algorithm>

#include "KivFunction.h"
#include "KivLog.h"
#include "platform/KivFileUtil.h"
#include "platform/KivIniFile.h"
#include "platform/KivPlatform.h"

namespace {

// What a missing key reads as.
constexpr const char* kMissing = "unknow";

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

}  // namespace

CKivFilter::~CKivFilter() { m_path.clear(); }

KivResult CKivFilter::GetConfigFilePath(const char* pszFileName, std::string* pPath) {
    if (!pszFileName || !*pszFileName || !pPath) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string name = pszFileName;
    size_t cut = name.find_last_of("\\/");
    if (cut != std::string::npos) name.erase(0, cut + 1);
    if (name.empty()) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string dir = KivGetExeDir();
    if (dir.empty()) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string path = dir + "/" + name;
    if (!KivIsFile(path)) return KIV_RETERR(KIV_E_REGISTRY);
    *pPath = std::move(path);
    return KIV_OK;
}

KivResult CKivFilter::Init(const char* pszFileName) {
    if (!m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    std::string path;
    if (KivResult rc = GetConfigFilePath(pszFileName, &path); KivFailed(rc)) return rc;
    m_path = std::move(path);
    return KIV_OK;
}

KivResult CKivFilter::Uninit() {
    if (m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    m_path.clear();
    return KIV_OK;
}

KivResult CKivFilter::LoadSectionName(const CKivIniFile& ini, std::vector<std::string>* pNames) const {
    if (m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pNames) return KIV_RETERR(KIV_E_INVALIDARG);
    *pNames = ini.SectionNames();
    return KIV_OK;
}

KivResult CKivFilter::StrExts2VecExtNames(const std::string& value, std::vector<std::string>* pOut) {
    if (!pOut) return KIV_RETERR(KIV_E_INVALIDARG);
    pOut->clear();
    if (value.empty()) return KIV_RETERR(KIV_E_INVALIDARG);
    if (KivResult rc = ::StrExts2VecExtNames(value.c_str(), pOut); KivFailed(rc)) return rc;
    return KIV_OK;
}

KivResult CKivFilter::LoadFilterItem(const CKivIniFile& ini, const std::string& section, FilterItem* pItem) {
    if (!pItem) return KIV_RETERR(KIV_E_INVALIDARG);
    FilterItem item;
    item.section = section;
    item.descript = ini.GetString(section, "descript", kMissing);
    item.name = ini.GetString(section, "name", kMissing);
    item.detail = ini.GetString(section, "detail", kMissing);
    std::string exts = LowerAscii(ini.GetString(section, "exts", kMissing));
    if (KivResult rc = StrExts2VecExtNames(exts, &item.extensions); KivFailed(rc)) return rc;
    *pItem = std::move(item);
    return KIV_OK;
}

KivResult CKivFilter::EnumTypes(std::vector<FilterItem>* pItems) {
    if (m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pItems) return KIV_RETERR(KIV_E_INVALIDARG);
    // Read anew each time, so an edited catalogue shows at the next listing.
    CKivIniFile ini;
    if (!ini.Load(m_path)) return KIV_RETERR(KIV_E_REGISTRY);
    std::vector<std::string> sections;
    if (KivResult rc = LoadSectionName(ini, &sections); KivFailed(rc)) return rc;
    pItems->clear();
    for (const std::string& s : sections) {
        FilterItem item;
        if (KivSucceeded(LoadFilterItem(ini, s, &item))) pItems->push_back(std::move(item));
    }
    return KIV_OK;
}

void CKivFilter::Finish(int32_t nMode, std::set<std::string>&& exts, KivFilterSet* pOut) {
    // Nothing chosen lets everything pass.
    if (nMode == 2 || exts.empty()) {
        pOut->nMode = 2;
        pOut->exts.clear();
        return;
    }
    pOut->nMode = nMode;
    pOut->exts = std::move(exts);
}

KivResult CKivFilter::CreateFilter(int32_t nMode, const std::vector<std::string>& exts, KivFilterSet* pOut) {
    if (m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pOut || nMode < 0 || nMode > 2) return KIV_RETERR(KIV_E_INVALIDARG);
    std::set<std::string> set;
    if (nMode != 2)
        for (const std::string& e : exts)
            if (!e.empty()) set.insert(LowerAscii(e));
    Finish(nMode, std::move(set), pOut);
    return KIV_OK;
}

KivResult CKivFilter::CreateFilter(int32_t nMode, const std::vector<FilterItem>& items, KivFilterSet* pOut) {
    if (m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pOut || nMode < 0 || nMode > 2) return KIV_RETERR(KIV_E_INVALIDARG);
    std::set<std::string> set;
    if (nMode != 2)
        for (const FilterItem& item : items)
            for (const std::string& e : item.extensions)
                if (!e.empty()) set.insert(LowerAscii(e));
    Finish(nMode, std::move(set), pOut);
    return KIV_OK;
}
