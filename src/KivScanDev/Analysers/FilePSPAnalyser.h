#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FilePSPAnalyser : public IRawFileAnalyser {
public:
    FilePSPAnalyser() : IRawFileAnalyser(51) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "P"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
