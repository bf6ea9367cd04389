#pragma once

#include "Analysers/CTitledFileAnalyser.h"

// Matroska and WebM videos: an EBML header and one segment, measured by their element sizes.
class FileMKVAnalyser : public CTitledFileAnalyser {
public:
    FileMKVAnalyser() : CTitledFileAnalyser(78) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\x1A"; }
};
