// The user-interface configuration: "res/res.ini" beside the program, or the language file it
// names for the user's language (section "language", key = the language identifier in lower-case
// hexadecimal). One object per process.
#pragma once

#include <cstdint>
#include <string>

class CKivUiConfig {
public:
    static CKivUiConfig& Get();

    // The file in use (may not exist: every read then answers its default).
    const std::string& Path() const { return m_path; }
    int64_t GetInt(const char* pszSection, const char* pszKey, int64_t nDefault) const;
    // At most 499 characters, each "{\r\n}" made a line break.
    std::string GetText(const char* pszSection, const char* pszKey) const;
    // "left, top, width, height" (a comma may be escaped with "\") as left, top, right, bottom.
    bool GetRect(const char* pszSection, const char* pszKey, int32_t* pRect4) const;

    // The language identifier of a locale name such as "de_DE.UTF-8" (0 when unknown): the
    // platform's numbering, so that skins keep their keys.
    static uint32_t LanguageIdOf(const std::string& strLocale);
    // Re-reads the choice of file (tests, a changed language).
    void Reload(const std::string& strLocale);

private:
    CKivUiConfig();
    std::string m_path;
};
