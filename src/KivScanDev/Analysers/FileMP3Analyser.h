#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileMP3Analyser : public IRawFileAnalyser {
public:
    FileMP3Analyser() : IRawFileAnalyser(41) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
};
