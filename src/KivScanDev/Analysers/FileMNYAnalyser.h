#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileMNYAnalyser : public IRawFileAnalyser {
public:
    FileMNYAnalyser() : IRawFileAnalyser(38) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
