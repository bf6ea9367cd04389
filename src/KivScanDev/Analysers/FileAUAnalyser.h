#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileAUAnalyser : public IRawFileAnalyser {
public:
    FileAUAnalyser() : IRawFileAnalyser(7) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "."; }
};
