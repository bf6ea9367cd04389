#include "CKivIniLoaderFileType.h"

#include "KivFunction.h"
#include "KivLog.h"
#include "platform/KivFileUtil.h"
#include "platform/KivIniFile.h"

namespace {
constexpr const char* kMissing = "unknow";
}

CKivIniLoaderFileType& CKivIniLoaderFileType::Get() {
    static CKivIniLoaderFileType s_loader;
    return s_loader;
}

KivResult CKivIniLoaderFileType::GetConfigFilePath(const char* pszFileName) {
    std::string path;
    if (!KivPathBesideExe(pszFileName, &path)) return KIV_RETERR(KIV_E_INVALIDARG);
    if (!KivIsFile(path)) return KIV_RETERR(KIV_E_REGISTRY);
    m_path = std::move(path);
    return KIV_OK;
}

KivResult CKivIniLoaderFileType::LoadSectionName(const CKivIniFile& ini, std::vector<std::string>* pNames) const {
    if (m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    *pNames = ini.SectionNames();
    return KIV_OK;
}

KivResult CKivIniLoaderFileType::LoadFileType(const CKivIniFile& ini, const std::string& section,
                                              KivFileTypeCategory* pOut) {
    pOut->section = section;
    pOut->name = ini.GetString(section, "name", kMissing);
    pOut->descript = ini.GetString(section, "descript", kMissing);
    std::string exts = ini.GetString(section, "exts", kMissing);
    for (char& c : exts)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return StrExts2VecExtNames(exts.c_str(), &pOut->exts);
}

KivResult CKivIniLoaderFileType::LoadFileTypeIni() {
    m_categories.clear();
    if (m_path.empty()) return KIV_RETERR(KIV_E_INITSTATE);
    CKivIniFile ini;
    if (!ini.Load(m_path)) return KIV_RETERR(KIV_E_REGISTRY);
    std::vector<std::string> sections;
    if (KivResult rc = LoadSectionName(ini, &sections); KivFailed(rc)) return rc;
    for (const std::string& s : sections) {
        KivFileTypeCategory c;
        if (KivFailed(LoadFileType(ini, s, &c))) continue;
        c.nId = static_cast<int32_t>(m_categories.size());
        m_categories.push_back(std::move(c));
    }
    if (m_categories.empty()) return KIV_RETERR(KIV_E_REGISTRY);
    return KIV_OK;
}
