// The ini reader (both encodings) and the texts made from ini values.
#include <string>

#include "KivIniLoader.h"
#include "platform/KivIniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CKivIniFile ini;
    ini.LoadText(std::string(reinterpret_cast<const char*>(data), size));
    size_t nSections = 0;
    for (const std::string& section : ini.SectionNames()) {
        if (++nSections > 64) break;
        ini.HasSection(section);
        size_t nKeys = 0;
        for (const std::string& key : ini.KeyNames(section)) {
            if (++nKeys > 64) break;
            std::string value = ini.GetString(section, key);
            ini.GetInt(section, key, -1);
            KivFormatCodeText(value, 0x12345678);
        }
    }
    return 0;
}
