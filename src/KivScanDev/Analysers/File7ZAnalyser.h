#pragma once

#include "Analysers/IRawFileAnalyser.h"

// 7z archives: the start header names where the archive's own header lies at its end.
class File7ZAnalyser : public IRawFileAnalyser {
public:
    File7ZAnalyser() : IRawFileAnalyser(84) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "7"; }
};
