#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileMIDAnalyser : public IRawFileAnalyser {
public:
    FileMIDAnalyser() : IRawFileAnalyser(36) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "M"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
