#include "Raw/CScriptProcess.h"

#include <cctype>
#include <fstream>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}
std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}
std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "0x" / "0X" and 1 to nMaxDigits hexadecimal digits.
bool ParseHex(std::string_view s, size_t nMaxDigits, uint32_t* pOut) {
    if (s.size() < 3 || s.size() > 2 + nMaxDigits || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    uint32_t v = 0;
    for (char c : s.substr(2)) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = (v << 4) | static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                 ? c - '0'
                                                 : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    }
    *pOut = v;
    return true;
}

}  // namespace

bool CScriptProcess::Open(const std::string& path) {
    m_bOpen = false;
    m_lines.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text(kMaxFileSize + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return OpenText(text);
}

bool CScriptProcess::OpenText(std::string_view text) {
    m_lines.clear();
    m_bOpen = true;
    m_bTooLong = text.size() > kMaxFileSize;
    if (m_bTooLong) return false;
    size_t pos = 0;
    for (;;) {
        size_t end = text.find("\r\n", pos);
        m_lines.emplace_back(Trim(text.substr(pos, end == std::string_view::npos ? end : end - pos)));
        if (end == std::string_view::npos) break;
        pos = end + 2;
    }
    return true;
}

bool CScriptProcess::IsValid() const {
    if (!m_bOpen || m_bTooLong) return false;
    for (const auto& line : m_lines)
        if (!IsLineValid(line)) return false;
    return true;
}

std::optional<std::string> CScriptProcess::GetLine(size_t n) const {
    if (!m_bOpen || n >= m_lines.size()) return std::nullopt;
    return m_lines[n];
}

bool CScriptProcess::GetExtName(std::string* pOut) const {
    for (const auto& line : m_lines)
        if (SectionOf(line) == Section::FileInfo) return ParseExtName(line, pOut);
    return false;
}

bool CScriptProcess::NextSign(size_t* pCursor, KivSignItem* pOut) const {
    for (size_t i = *pCursor; i < m_lines.size(); ++i) {
        if (SectionOf(m_lines[i]) != Section::FileSign) continue;
        *pCursor = i + 1;
        return ParseSign(m_lines[i], pOut);
    }
    *pCursor = m_lines.size();
    return false;
}

CScriptProcess::Section CScriptProcess::SectionOf(std::string_view line) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return Section::Invalid;
    std::string_view word = Trim(line.substr(0, colon));
    if (EqualsNoCase(word, "FILEINFO")) return Section::FileInfo;
    if (EqualsNoCase(word, "FILESIGN")) return Section::FileSign;
    if (EqualsNoCase(word, "REMARK")) return Section::Remark;
    return Section::Invalid;
}

std::string CScriptProcess::KeyValue(std::string_view line, std::string_view key) {
    size_t at = line.find(key);
    if (at == std::string_view::npos) return {};
    size_t eq = line.find('=', at);
    if (eq == std::string_view::npos || TrimRight(line.substr(at, eq - at)) != key) return {};
    std::string_view rest = TrimLeft(line.substr(eq + 1));
    if (!rest.empty() && rest.front() == '"') {
        size_t last = rest.rfind('"');
        return std::string(rest.substr(0, last + 1));
    }
    // Unquoted: up to the first blank or line feed; blanks right after a comma (byte lists) are kept.
    size_t n = 0;
    while (n < rest.size() && rest[n] != '\n') {
        if (IsBlank(rest[n])) {
            size_t k = n;
            while (k > 0 && IsBlank(rest[k - 1])) --k;
            if (k == 0 || rest[k - 1] != ',') break;
        }
        ++n;
    }
    return std::string(rest.substr(0, n));
}

bool CScriptProcess::ParseExtName(std::string_view line, std::string* pOut) {
    std::string v = KeyValue(line, "EXTNAME");
    if (v.size() < 3 || v.front() != '"' || v.back() != '"') return false;
    std::string ext = v.substr(1, v.size() - 2);
    if (ext.size() > kMaxExtLength) return false;
    // Any text is a valid extension here ("TAR.GZ" included); the type table makes it safe for
    // file names.
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    *pOut = ext;
    return true;
}

bool CScriptProcess::ParseSign(std::string_view line, KivSignItem* pOut) {
    KivSignItem item;
    if (!ParseHex(KeyValue(line, "OFFSET"), 8, &item.nOffset) || item.nOffset > kMaxOffset) return false;
    std::string type = KeyValue(line, "TYPE");
    std::string value = KeyValue(line, "VALUE");
    if (EqualsNoCase(type, "CHAR")) {
        if (value.size() < 3 || value.front() != '"' || value.back() != '"') return false;
        if (value.size() - 2 > kMaxItemLength) return false;
        item.bytes.assign(value.begin() + 1, value.end() - 1);
    } else if (EqualsNoCase(type, "BYTE")) {
        if (value.empty() || value.back() == ',') return false;
        std::string_view rest = value;
        for (;;) {
            size_t comma = rest.find(',');
            std::string_view num = rest.substr(0, comma);
            bool bLast = comma == std::string_view::npos;
            uint32_t b = 0;
            if (!ParseHex(num, bLast ? 2 : 8, &b) || b > 0xFF) return false;
            item.bytes.push_back(static_cast<uint8_t>(b));
            if (item.bytes.size() > kMaxItemLength) return false;
            if (bLast) break;
            rest = TrimLeft(rest.substr(comma + 1));
        }
    } else {
        return false;
    }
    item.nLength = static_cast<uint32_t>(item.bytes.size());
    *pOut = std::move(item);
    return true;
}

bool CScriptProcess::IsLineValid(std::string_view line) {
    if (line.find('\0') != std::string_view::npos) return false;
    KivSignItem item;
    std::string ext;
    switch (SectionOf(line)) {
    case Section::FileInfo: return ParseExtName(line, &ext);
    case Section::FileSign: return ParseSign(line, &item);
    case Section::Remark: return true;
    case Section::Invalid: break;
    }
    return false;
}
