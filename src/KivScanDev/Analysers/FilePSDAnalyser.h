#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FilePSDAnalyser : public IRawFileAnalyser {
public:
    FilePSDAnalyser() : IRawFileAnalyser(50) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "8"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
