#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileWMFAnalyser : public IRawFileAnalyser {
public:
    FileWMFAnalyser() : IRawFileAnalyser(66) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\x01"; }
};
