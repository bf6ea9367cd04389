#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileCRWAnalyser : public IRawFileAnalyser {
public:
    FileCRWAnalyser() : IRawFileAnalyser(16) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "I"; }
};
