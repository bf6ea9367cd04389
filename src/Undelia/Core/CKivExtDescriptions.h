// What each extension stands for ("JPEG photo", "Word document"), shown beside the extensions of
// the file-type page: "KivExtDesc.ini" beside the program, section "Extensions", one key per
// extension in lower case without its dot.
#pragma once

#include <map>
#include <string>

class CKivExtDescriptions {
public:
    // The file beside the program, read on first use.
    static const CKivExtDescriptions& Get();
    bool Load(const std::string& strPath);
    // Empty when the extension is unknown; letter case and a leading dot do not matter.
    std::string Of(const std::string& strExt) const;

private:
    std::map<std::string, std::string> m_texts;
};
