// The user-defined file types read from the ".fhs" files of one folder.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Raw/CCustomHeader.h"

class CCustomHeaderManage {
public:
    // Drops the headers loaded before and loads every ".fhs" file of the folder (sorted by name, so
    // that the order is the same on every file system). True when at least one such file exists,
    // valid or not.
    bool Load(const std::string& folder);
    // The first header in load order that matches gives its extension.
    bool Match(std::span<const uint8_t> sector, std::string* pExt) const;

    size_t Count() const { return m_headers.size(); }
    const CCustomHeader& At(size_t i) const { return *m_headers[i]; }

private:
    std::vector<std::unique_ptr<CCustomHeader>> m_headers;
};
