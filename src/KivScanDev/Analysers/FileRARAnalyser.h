#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileRARAnalyser : public IRawFileAnalyser {
public:
    FileRARAnalyser() : IRawFileAnalyser(54) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
