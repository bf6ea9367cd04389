#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileBMPAnalyser : public IRawFileAnalyser {
public:
    FileBMPAnalyser() : IRawFileAnalyser(9) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "B"; }
};
