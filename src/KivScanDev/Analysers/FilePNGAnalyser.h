#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FilePNGAnalyser : public IRawFileAnalyser {
public:
    FilePNGAnalyser() : IRawFileAnalyser(47) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\x89"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
