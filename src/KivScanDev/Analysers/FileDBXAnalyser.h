#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileDBXAnalyser : public IRawFileAnalyser {
public:
    FileDBXAnalyser() : IRawFileAnalyser(19) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\xCF" "J"; }
};
