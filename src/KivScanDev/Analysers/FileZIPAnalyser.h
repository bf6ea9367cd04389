#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileZIPAnalyser : public IRawFileAnalyser {
public:
    FileZIPAnalyser() : IRawFileAnalyser(68) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
