#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileMOVAnalyser : public IRawFileAnalyser {
public:
    FileMOVAnalyser() : IRawFileAnalyser(40) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
