#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileJPGAnalyser : public IRawFileAnalyser {
public:
    FileJPGAnalyser() : IRawFileAnalyser(33) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
