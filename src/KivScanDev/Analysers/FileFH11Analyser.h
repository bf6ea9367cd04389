#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileFH11Analyser : public IRawFileAnalyser {
public:
    FileFH11Analyser() : IRawFileAnalyser(27) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\x1C"; }
};
