#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileRIFFAnalyser : public IRawFileAnalyser {
public:
    FileRIFFAnalyser() : IRawFileAnalyser(55) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "R"; }
};
