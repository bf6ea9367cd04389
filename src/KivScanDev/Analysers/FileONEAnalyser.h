#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileONEAnalyser : public IRawFileAnalyser {
public:
    FileONEAnalyser() : IRawFileAnalyser(45) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\xE4"; }
};
