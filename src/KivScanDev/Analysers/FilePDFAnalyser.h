#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FilePDFAnalyser : public IRawFileAnalyser {
public:
    FilePDFAnalyser() : IRawFileAnalyser(46) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "%"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
