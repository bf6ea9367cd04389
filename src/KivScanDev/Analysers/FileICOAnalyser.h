#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileICOAnalyser : public IRawFileAnalyser {
public:
    FileICOAnalyser() : IRawFileAnalyser(32) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
