#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileGIFAnalyser : public IRawFileAnalyser {
public:
    FileGIFAnalyser() : IRawFileAnalyser(28) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
