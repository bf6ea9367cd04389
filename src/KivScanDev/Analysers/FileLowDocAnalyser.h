#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileLowDocAnalyser : public IRawFileAnalyser {
public:
    FileLowDocAnalyser() : IRawFileAnalyser(21) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return {"\xDB\x94\xD0", 3}; }
};
