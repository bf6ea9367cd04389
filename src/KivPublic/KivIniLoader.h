// Text lookups in an ini file that ships beside the program.
#pragma once

#include <cstdint>
#include <string>

#include "KivCommon.h"

class CKivIniLoader {
public:
    CKivIniLoader() = default;
    explicit CKivIniLoader(const char* pszFileName) { Init(pszFileName); }

    // Keeps the file-name part of the name, placed in the executable's folder; accepted only when
    // that file exists and is not a folder. Otherwise every lookup fails.
    KivResult Init(const char* pszFileName);
    // Value of the key "%x" of nCode (lower-case hexadecimal) in the section; KIV_FAIL when the
    // file, the section or a non-empty value is missing.
    KivResult LoadStrByCode(const char* pszSection, uint32_t nCode, std::string* pText) const;
    // Same with a caller-given key.
    KivResult LoadStrByStr(const char* pszSection, const char* pszKey, std::string* pText) const;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Message text for a result code from "KivErrStr.ini" (section "ErrCode", key = error number in
// hexadecimal, else key "0"); the text may show the code with one integer conversion ("%x").
std::string KivLoadErrText(KivResult nCode);
// Text of section/key of "KivHintStr.ini"; empty when missing.
std::string KivLoadHintText(const char* pszSection, const char* pszKey);
// Text of the user-interface ini (at most 499 characters) with each "{\r\n}" turned into a line
// break; answers the number of characters read.
uint32_t KivReadUiText(const std::string& iniPath, const char* pszSection, const char* pszKey, std::string* pText);
// Formats a message text with one integer argument. Only integer conversions (d i u x X o c with
// flags, width and precision) and "%%" are honoured; anything else is copied as it stands, so a
// text from a data file can never read arguments that are not there.
std::string KivFormatCodeText(const std::string& format, uint32_t nValue);
