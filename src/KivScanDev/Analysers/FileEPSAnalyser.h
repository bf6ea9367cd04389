#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileEPSAnalyser : public IRawFileAnalyser {
public:
    FileEPSAnalyser() : IRawFileAnalyser(25) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\xC5"; }
};
