#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileTIFAnalyser : public IRawFileAnalyser {
public:
    FileTIFAnalyser() : IRawFileAnalyser(60) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
