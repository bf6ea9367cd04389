#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileRARAnalyser : public IRawFileAnalyser {
public:
    FileRARAnalyser() : IRawFileAnalyser(54) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "R"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
