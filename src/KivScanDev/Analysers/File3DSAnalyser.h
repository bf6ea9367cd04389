#pragma once

#include "Analysers/IRawFileAnalyser.h"

class File3DSAnalyser : public IRawFileAnalyser {
public:
    File3DSAnalyser() : IRawFileAnalyser(1) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\x4D"; }
};
