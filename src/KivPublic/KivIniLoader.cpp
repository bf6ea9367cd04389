#include "KivIniLoader.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "KivLog.h"
#include "platform/KivFileUtil.h"
#include "platform/KivIniFile.h"
#include "platform/KivPlatform.h"

namespace {
constexpr uint32_t kValueChars = 520;
constexpr uint32_t kUiTextChars = 500;
constexpr size_t kErrTextChars = 260;
}  // namespace

KivResult CKivIniLoader::Init(const char* pszFileName) {
    m_path.clear();
    if (!pszFileName || !*pszFileName) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string name = pszFileName;
    size_t cut = name.find_last_of("\\/");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    if (name.empty()) return KIV_RETERR(KIV_E_INVALIDARG);  // a name ending in a separator
    std::string dir = KivGetExeDir();
    if (dir.empty()) return KIV_RETERR(KIV_E_STATE);
    std::string path = dir + "/" + name;
    if (!KivIsFile(path)) return KIV_RETERR(KIV_E_IO);
    m_path = path;
    return KIV_OK;
}

KivResult CKivIniLoader::LoadStrByCode(const char* pszSection, uint32_t nCode, std::string* pText) const {
    char key[16];
    std::snprintf(key, sizeof(key), "%x", nCode);
    return LoadStrByStr(pszSection, key, pText);
}

KivResult CKivIniLoader::LoadStrByStr(const char* pszSection, const char* pszKey, std::string* pText) const {
    if (m_path.empty() || !pszSection || !*pszSection || !pszKey || !pText) return KIV_LOGERR(KIV_FAIL);
    std::string v;
    KivIniGetString(m_path, pszSection, pszKey, "", &v, kValueChars);
    if (v.empty()) return KIV_LOGERR(KIV_FAIL);
    *pText = std::move(v);
    return KIV_OK;
}

std::string KivFormatCodeText(const std::string& format, uint32_t nValue) {
    std::string out;
    size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos) ++j;
        while (j < format.size() && j - i < 12 && (std::isdigit(static_cast<unsigned char>(format[j])) || format[j] == '.')) ++j;
        while (j < format.size() && (format[j] == 'l' || format[j] == 'h')) ++j;  // size letters are dropped
        if (j < format.size() && std::string_view("diuxXoc").find(format[j]) != std::string_view::npos) {
            std::string conv = format.substr(i, j - i);
            std::string clean;
            for (char c : conv)
                if (c != 'l' && c != 'h') clean += c;
            clean += format[j];
            char buf[64];
            if (std::snprintf(buf, sizeof(buf), clean.c_str(), nValue) > 0) out += buf;
            i = j + 1;
        } else {
            out += format[i++];
        }
    }
    return out;
}

std::string KivLoadErrText(KivResult nCode) {
    static const CKivIniLoader s_loader("KivErrStr.ini");
    std::string text;
    if (KivFailed(s_loader.LoadStrByCode("ErrCode", KivErrNo(nCode), &text)) &&
        KivFailed(s_loader.LoadStrByCode("ErrCode", 0, &text)))
        text.clear();
    std::string out = text.empty() ? KivFormatCodeText("Unknow errorcode 0x%x", nCode) : KivFormatCodeText(text, nCode);
    if (out.size() >= kErrTextChars) out.resize(kErrTextChars - 1);
    return out;
}

std::string KivLoadHintText(const char* pszSection, const char* pszKey) {
    static const CKivIniLoader s_loader("KivHintStr.ini");
    std::string text;
    if (KivFailed(s_loader.LoadStrByStr(pszSection, pszKey, &text))) text.clear();
    return text;
}

uint32_t KivReadUiText(const std::string& iniPath, const char* pszSection, const char* pszKey, std::string* pText) {
    if (!pText) return 0;
    std::string v;
    KivIniGetString(iniPath, pszSection, pszKey, "", &v, kUiTextChars);
    std::string out;
    static const std::string kBreak = "{\\r\\n}";
    for (size_t i = 0; i < v.size();) {
        if (v.compare(i, kBreak.size(), kBreak) == 0) {
            out += "\r\n";
            i += kBreak.size();
        } else {
            out += v[i++];
        }
    }
    *pText = std::move(out);
    return static_cast<uint32_t>(KivUtf8ToUtf16(*pText).size());
}
