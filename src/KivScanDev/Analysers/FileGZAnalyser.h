#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileGZAnalyser : public IRawFileAnalyser {
public:
    FileGZAnalyser() : IRawFileAnalyser(29) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\x1F"; }
};
