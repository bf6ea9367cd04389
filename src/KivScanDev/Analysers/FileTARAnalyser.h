#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileTARAnalyser : public IRawFileAnalyser {
public:
    FileTARAnalyser() : IRawFileAnalyser(59) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
