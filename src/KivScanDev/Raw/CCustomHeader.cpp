#include "Raw/CCustomHeader.h"

#include <cstring>

bool CCustomHeader::Load(const std::string& path) {
    CScriptProcess script;
    return script.Open(path) && Take(script);
}

bool CCustomHeader::LoadText(std::string_view text) {
    CScriptProcess script;
    return script.OpenText(text) && Take(script);
}

bool CCustomHeader::Take(const CScriptProcess& script) {
    if (!script.IsValid()) return false;
    m_strExt.clear();
    script.GetExtName(&m_strExt);
    m_items.clear();
    size_t cursor = 0;
    KivSignItem item;
    while (script.NextSign(&cursor, &item)) m_items.push_back(std::move(item));
    return true;
}

bool CCustomHeader::Match(std::span<const uint8_t> sector) const {
    if (m_items.empty()) return false;
    for (const auto& item : m_items) {
        if (item.nOffset > sector.size() || item.nLength > sector.size() - item.nOffset) return false;
        if (std::memcmp(sector.data() + item.nOffset, item.bytes.data(), item.nLength) != 0) return false;
    }
    return true;
}
