#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileLowDocAnalyser : public IRawFileAnalyser {
public:
    FileLowDocAnalyser() : IRawFileAnalyser(21) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
