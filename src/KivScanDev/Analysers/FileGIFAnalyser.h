#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileGIFAnalyser : public IRawFileAnalyser {
public:
    FileGIFAnalyser() : IRawFileAnalyser(28) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "G"; }
};
