#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileCHMAnalyser : public IRawFileAnalyser {
public:
    FileCHMAnalyser() : IRawFileAnalyser(12) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "I"; }
};
