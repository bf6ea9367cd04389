#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileSWFAnalyser : public IRawFileAnalyser {
public:
    FileSWFAnalyser() : IRawFileAnalyser(58) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "FC"; }
};
