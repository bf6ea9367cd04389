#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileICOAnalyser : public IRawFileAnalyser {
public:
    FileICOAnalyser() : IRawFileAnalyser(32) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return std::string_view("\0", 1); }
};
