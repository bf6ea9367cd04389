#include "CKivExtDescriptions.h"

#include "KivFunction.h"
#include "platform/KivIniFile.h"
#include "platform/KivText.h"

namespace {

constexpr const char* kSection = "Extensions";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(KivAsciiLower(c));
    return s;
}

}  // namespace

const CKivExtDescriptions& CKivExtDescriptions::Get() {
    static const CKivExtDescriptions s_texts = [] {
        CKivExtDescriptions d;
        std::string path;
        if (KivPathBesideExe("KivExtDesc.ini", &path)) d.Load(path);
        return d;
    }();
    return s_texts;
}

bool CKivExtDescriptions::Load(const std::string& strPath) {
    m_texts.clear();
    CKivIniFile ini;
    if (!ini.Load(strPath)) return false;
    for (const std::string& k : ini.KeyNames(kSection)) m_texts[Lower(k)] = ini.GetString(kSection, k);
    return true;
}

std::string CKivExtDescriptions::Of(const std::string& strExt) const {
    std::string e = Lower(!strExt.empty() && strExt[0] == '.' ? strExt.substr(1) : strExt);
    auto it = m_texts.find(e);
    return it == m_texts.end() ? std::string() : it->second;
}
