#include "platform/KivIniFile.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/KivFileUtil.h"
#include "platform/KivPlatform.h"

namespace {

constexpr size_t kMaxIniBytes = 64u << 20;  // no configuration file is anywhere near this

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// The text of the file as UTF-8.
std::string Decode(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string w;
        w.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            w += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return KivUtf16ToUtf8(w);
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
}

}  // namespace

bool KivIEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool CKivIniFile::Load(const std::string& path) {
    m_sections.clear();
    m_bLoaded = false;
    uint64_t nBytes = 0;
    if (!KivFileSize(path, &nBytes) || nBytes > kMaxIniBytes) return false;
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LoadText(bytes);
    return true;
}

void CKivIniFile::LoadText(const std::string& bytes) {
    m_sections.clear();
    m_bLoaded = true;
    std::istringstream in(Decode(bytes));
    std::string line;
    Section* cur = nullptr;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            std::string name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            m_sections.push_back({name, {}});
            cur = &m_sections.back();
            continue;
        }
        if (!cur) continue;  // lines before the first section belong to none
        size_t eq = t.find('=');
        std::string key = Trim(t.substr(0, eq));
        std::string val = eq == std::string::npos ? std::string() : Trim(t.substr(eq + 1));
        if (val.size() >= 2 && (val.front() == '"' || val.front() == '\'') && val.back() == val.front())
            val = val.substr(1, val.size() - 2);
        if (eq == std::string::npos || key.empty()) continue;
        cur->entries.emplace_back(std::move(key), std::move(val));
    }
}

const CKivIniFile::Section* CKivIniFile::FindSection(const std::string& section) const {
    for (const auto& s : m_sections)
        if (KivIEquals(s.name, section)) return &s;
    return nullptr;
}

bool CKivIniFile::HasSection(const std::string& section) const { return FindSection(section) != nullptr; }

bool CKivIniFile::Find(const std::string& section, const std::string& key, std::string* pValue) const {
    const Section* s = FindSection(section);
    if (!s) return false;
    for (const auto& [k, v] : s->entries) {
        if (KivIEquals(k, key)) {
            if (pValue) *pValue = v;
            return true;
        }
    }
    return false;
}

std::string CKivIniFile::GetString(const std::string& section, const std::string& key, const std::string& def) const {
    std::string v;
    return Find(section, key, &v) ? v : def;
}

int64_t CKivIniFile::GetInt(const std::string& section, const std::string& key, int64_t def) const {
    std::string v;
    if (!Find(section, key, &v) || v.empty()) return def;
    char* end = nullptr;
    long long n = std::strtoll(v.c_str(), &end, 0);
    return end == v.c_str() ? def : static_cast<int64_t>(n);
}

std::vector<std::string> CKivIniFile::SectionNames() const {
    std::vector<std::string> out;
    for (const auto& s : m_sections) out.push_back(s.name);
    return out;
}

std::vector<std::string> CKivIniFile::KeyNames(const std::string& section) const {
    std::vector<std::string> out;
    if (const Section* s = FindSection(section))
        for (const auto& e : s->entries) out.push_back(e.first);
    return out;
}

uint32_t KivIniGetString(const std::string& path, const char* pszSection, const char* pszKey, const char* pszDefault,
                         std::string* pOut, uint32_t nMaxChars) {
    if (!pOut) return 0;
    CKivIniFile ini;
    std::string v;
    if (!(pszSection && pszKey && ini.Load(path) && ini.Find(pszSection, pszKey, &v))) v = pszDefault ? pszDefault : "";
    // Cap by characters, not bytes, and never cut a UTF-8 sequence.
    if (nMaxChars == 0) v.clear();
    uint32_t chars = 0;
    size_t i = 0;
    while (i < v.size() && chars + 1 < nMaxChars) {
        ++i;
        while (i < v.size() && (static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) ++i;
        ++chars;
    }
    v.resize(i);
    *pOut = std::move(v);
    return chars;
}
