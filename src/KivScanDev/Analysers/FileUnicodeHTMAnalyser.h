#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileUnicodeHTMAnalyser : public IRawFileAnalyser {
public:
    FileUnicodeHTMAnalyser() : IRawFileAnalyser(31) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\xFF"; }
};
