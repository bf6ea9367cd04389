// One user-defined file type: its extension and the byte patterns its first sector must hold.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Raw/CScriptProcess.h"

class CCustomHeader {
public:
    // True when the header file is valid; the header then holds its extension and items.
    bool Load(const std::string& path);
    // Same from text in memory.
    bool LoadText(std::string_view text);
    // Every item's bytes equal; a header without items never matches.
    bool Match(std::span<const uint8_t> sector) const;

    const std::string& GetExtName() const { return m_strExt; }
    const std::vector<KivSignItem>& GetItems() const { return m_items; }

private:
    bool Take(const CScriptProcess& script);

    std::string m_strExt;
    std::vector<KivSignItem> m_items;
};
