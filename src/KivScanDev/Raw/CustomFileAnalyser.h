// The analyser of the user-defined file types: matches the headers read from the ".fhs" files
// and gives each extension a carving type id of its own.
#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"
#include "Raw/CCustomHeaderManage.h"

class CustomFileAnalyser : public IRawFileAnalyser {
public:
    // Reads the headers of "CustomFileScript" beside the program.
    CustomFileAnalyser();
    explicit CustomFileAnalyser(const std::string& folder);

    // These files carry no size of their own (the tree builder gives them one).
    bool MeasureFile(CRawFileInfo*, IKivDevStor*) override { return false; }
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return m_strFirstBytes; }

    const CCustomHeaderManage& GetHeaders() const { return m_headers; }
    static std::string DefaultFolder();

private:
    CCustomHeaderManage m_headers;
    std::string m_strFirstBytes;
};
