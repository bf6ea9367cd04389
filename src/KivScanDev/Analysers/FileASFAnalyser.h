#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileASFAnalyser : public IRawFileAnalyser {
public:
    FileASFAnalyser() : IRawFileAnalyser(6) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\x30"; }
};
