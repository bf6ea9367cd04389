#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileOLEAnalyser : public IRawFileAnalyser {
public:
    FileOLEAnalyser() : IRawFileAnalyser(44) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
