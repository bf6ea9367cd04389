#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileTTFAnalyser : public IRawFileAnalyser {
public:
    FileTTFAnalyser() : IRawFileAnalyser(61) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return {"\0", 1}; }
};
