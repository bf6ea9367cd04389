#pragma once

#include "Analysers/IRawFileAnalyser.h"

class File3GPAnalyser : public IRawFileAnalyser {
public:
    File3GPAnalyser() : IRawFileAnalyser(2) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
