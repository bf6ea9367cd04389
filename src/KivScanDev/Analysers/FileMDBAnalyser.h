#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileMDBAnalyser : public IRawFileAnalyser {
public:
    FileMDBAnalyser() : IRawFileAnalyser(37) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return {"\0", 1}; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
