// Read-only ini files with the private-profile rules: sections and keys in file order, names
// compared case-insensitively (ASCII), the first of duplicate sections or keys wins, blanks
// around names and values trimmed, one pair of matching quotes around a value removed. Files are
// UTF-16LE with a byte-order mark, or narrow (UTF-8, with or without a mark).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CKivIniFile {
public:
    // Parses the file; false (and an empty content) when it cannot be read or is a folder.
    bool Load(const std::string& path);
    // Parses text already in memory (same encodings as files).
    void LoadText(const std::string& bytes);

    bool IsLoaded() const { return m_bLoaded; }
    bool HasSection(const std::string& section) const;
    // True and the value when the key is present (an empty value counts as present).
    bool Find(const std::string& section, const std::string& key, std::string* pValue) const;
    std::string GetString(const std::string& section, const std::string& key, const std::string& def = {}) const;
    int64_t GetInt(const std::string& section, const std::string& key, int64_t def) const;
    std::vector<std::string> SectionNames() const;
    // Key names of the first section of that name, in file order.
    std::vector<std::string> KeyNames(const std::string& section) const;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    const Section* FindSection(const std::string& section) const;
    std::vector<Section> m_sections;
    bool m_bLoaded = false;
};

// One-call form of GetPrivateProfileString: copies the value (or pszDefault) into *pOut, capped at
// nMaxChars - 1 characters, and answers the number of characters given.
uint32_t KivIniGetString(const std::string& path, const char* pszSection, const char* pszKey,
                         const char* pszDefault, std::string* pOut, uint32_t nMaxChars);

// Case-insensitive ASCII comparison of whole strings.
bool KivIEquals(const std::string& a, const std::string& b);
