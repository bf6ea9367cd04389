#include "CKivUserPrefs.h"

#include "platform/KivAtomicFile.h"
#include "platform/KivDestMedium.h"
#include "platform/KivFileUtil.h"
#include "platform/KivIniFile.h"
#include "platform/KivPlatform.h"

namespace {
constexpr const char* kSection = "Prefs";
}

CKivUserPrefs& CKivUserPrefs::Get() {
    static CKivUserPrefs s_prefs = [] {
        CKivUserPrefs p;
        std::string dir = KivGetConfigDir();
        if (!dir.empty()) p.Load(dir + "/undelia.ini");
        return p;
    }();
    return s_prefs;
}

bool CKivUserPrefs::Load(const std::string& strPath) {
    m_strPath = strPath;
    m_values.clear();
    CKivIniFile ini;
    if (!ini.Load(strPath)) return false;
    for (const std::string& k : ini.KeyNames(kSection)) m_values[k] = ini.GetString(kSection, k);
    return true;
}

std::string CKivUserPrefs::GetText(const char* pszKey, const std::string& def) const {
    auto it = m_values.find(pszKey);
    return it == m_values.end() || it->second.empty() ? def : it->second;
}

int64_t CKivUserPrefs::GetInt(const char* pszKey, int64_t nDefault) const {
    std::string s = GetText(pszKey);
    if (s.empty()) return nDefault;
    size_t n = 0;
    try {
        int64_t v = std::stoll(s, &n);
        return n == s.size() ? v : nDefault;
    } catch (...) {
        return nDefault;
    }
}

void CKivUserPrefs::SetText(const char* pszKey, const std::string& strValue) {
    // One line per value: a line break would start a key of its own.
    std::string v;
    for (char c : strValue)
        if (c != '\n' && c != '\r') v += c;
    m_values[pszKey] = v;
}

void CKivUserPrefs::SetInt(const char* pszKey, int64_t nValue) { m_values[pszKey] = std::to_string(nValue); }

bool CKivUserPrefs::Save(const std::string& strScanMedium, std::string* pWhy) const {
    if (m_strPath.empty()) {
        if (pWhy) *pWhy = "no configuration folder";
        return false;
    }
    if (!strScanMedium.empty()) {
        KivDestVerdict v = KivJudgeDestination(strScanMedium, KivDirOf(m_strPath));
        if (v.place == KivDestPlace::kOnScannedMedium) {
            if (pWhy) *pWhy = v.strWhy;
            return false;
        }
    }
    // Quotes keep blanks at the ends of a folder name.
    std::string text = std::string("[") + kSection + "]\n";
    for (const auto& [k, v] : m_values) text += k + "=\"" + v + "\"\n";
    return KivWriteFileAtomic(m_strPath, {{text.data(), text.size()}}, pWhy);
}
