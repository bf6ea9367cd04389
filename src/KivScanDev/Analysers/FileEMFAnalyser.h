#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileEMFAnalyser : public IRawFileAnalyser {
public:
    FileEMFAnalyser() : IRawFileAnalyser(24) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
