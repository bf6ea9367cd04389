#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileLZHAnalyser : public IRawFileAnalyser {
public:
    FileLZHAnalyser() : IRawFileAnalyser(34) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
