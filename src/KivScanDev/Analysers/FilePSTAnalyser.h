#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FilePSTAnalyser : public IRawFileAnalyser {
public:
    FilePSTAnalyser() : IRawFileAnalyser(52) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "!"; }
};
