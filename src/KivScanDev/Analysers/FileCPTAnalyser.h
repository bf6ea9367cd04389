#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileCPTAnalyser : public IRawFileAnalyser {
public:
    FileCPTAnalyser() : IRawFileAnalyser(15) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
