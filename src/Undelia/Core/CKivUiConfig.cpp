#include "CKivUiConfig.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "KivIniLoader.h"
#include "platform/KivFileUtil.h"
#include "platform/KivIniFile.h"
#include "platform/KivPlatform.h"

namespace {

}  // namespace

CKivUiConfig& CKivUiConfig::Get() {
    static CKivUiConfig s_config;
    return s_config;
}

CKivUiConfig::CKivUiConfig() { Reload(KivUserLocale()); }

uint32_t CKivUiConfig::LanguageIdOf(const std::string& strLocale) {
    struct Row {
        const char* tag;
        uint32_t id;
    };
    // Language and country first, then the language alone (its main variant).
    static const Row kRows[] = {
        {"en_us", 0x409}, {"en_gb", 0x809}, {"en", 0x409},    {"de_at", 0xc07}, {"de_ch", 0x807}, {"de", 0x407},
        {"fr_ca", 0xc0c}, {"fr_be", 0x80c}, {"fr", 0x40c},    {"es_mx", 0x80a}, {"es", 0xc0a},    {"it", 0x410},
        {"ja", 0x411},    {"ko", 0x412},    {"zh_tw", 0x404}, {"zh_hk", 0xc04}, {"zh", 0x804},    {"pt_br", 0x416},
        {"pt", 0x816},    {"ru", 0x419},    {"nl", 0x413},    {"pl", 0x415},    {"sv", 0x41d},    {"tr", 0x41f},
        {"cs", 0x405},    {"da", 0x406},    {"fi", 0x40b},    {"el", 0x408},    {"hu", 0x40e},    {"nb", 0x414},
        {"no", 0x414},    {"uk", 0x422},    {"ar", 0x401},    {"he", 0x40d},    {"th", 0x41e},    {"vi", 0x42a},
    };
    std::string tag;
    for (char c : strLocale) {
        if (c == '.' || c == '@') break;
        tag += c == '-' ? '_' : static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    for (const Row& r : kRows)
        if (tag == r.tag) return r.id;
    std::string lang = tag.substr(0, tag.find('_'));
    for (const Row& r : kRows)
        if (lang == r.tag) return r.id;
    return 0;
}

void CKivUiConfig::Reload(const std::string& strLocale) {
    std::string dir = KivGetExeDir();
    m_path = dir + "/res/res.ini";
    uint32_t nId = LanguageIdOf(strLocale);
    if (nId == 0) return;
    char key[16];
    std::snprintf(key, sizeof key, "%x", nId);
    std::string name;
    KivIniGetString(m_path, "language", key, "", &name, 260);
    if (name.empty() || name.find('/') != std::string::npos) return;
    if (KivIsFile(dir + "/res/" + name)) m_path = dir + "/res/" + name;
}

int64_t CKivUiConfig::GetInt(const char* pszSection, const char* pszKey, int64_t nDefault) const {
    CKivIniFile ini;
    if (!ini.Load(m_path)) return nDefault;
    return ini.GetInt(pszSection, pszKey, nDefault);
}

std::string CKivUiConfig::GetText(const char* pszSection, const char* pszKey) const {
    std::string text;
    KivReadUiText(m_path, pszSection, pszKey, &text);
    return text;
}

bool CKivUiConfig::GetRect(const char* pszSection, const char* pszKey, int32_t* pRect4) const {
    if (!pRect4) return false;
    std::string v;
    KivIniGetString(m_path, pszSection, pszKey, "", &v, 500);
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size() && v[i + 1] == ',') {
            parts.back() += ',';
            ++i;
        } else if (v[i] == ',') {
            parts.emplace_back();
        } else {
            parts.back() += v[i];
        }
    }
    if (parts.size() != 4) return false;
    long n[4];
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        n[i] = std::strtol(parts[static_cast<size_t>(i)].c_str(), &end, 10);
        while (end && (*end == ' ' || *end == '\t')) ++end;
        if (!end || end == parts[static_cast<size_t>(i)].c_str() || *end) return false;
    }
    pRect4[0] = static_cast<int32_t>(n[0]);
    pRect4[1] = static_cast<int32_t>(n[1]);
    pRect4[2] = static_cast<int32_t>(n[0] + n[2]);
    pRect4[3] = static_cast<int32_t>(n[1] + n[3]);
    return true;
}
