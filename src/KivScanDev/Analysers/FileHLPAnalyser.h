#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileHLPAnalyser : public IRawFileAnalyser {
public:
    FileHLPAnalyser() : IRawFileAnalyser(30) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\x3F"; }
};
