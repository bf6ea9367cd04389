#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileWPDAnalyser : public IRawFileAnalyser {
public:
    FileWPDAnalyser() : IRawFileAnalyser(64) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\xFF"; }
};
