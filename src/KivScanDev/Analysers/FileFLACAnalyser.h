#pragma once

#include "Analysers/CTitledFileAnalyser.h"

// FLAC sound: metadata blocks, then frames, each decoded far enough to find its end and checked
// by its CRC-16, up to the last frame of the stream.
class FileFLACAnalyser : public CTitledFileAnalyser {
public:
    FileFLACAnalyser() : CTitledFileAnalyser(80) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "f"; }
};
