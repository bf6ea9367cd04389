#pragma once

#include "Analysers/CTitledFileAnalyser.h"

// TIFF images and the camera raw files built on them (NEF, CR2, ARW, DNG, ORF, RW2, PEF), the raws
// named after the camera's maker and model.
class FileTIFAnalyser : public CTitledFileAnalyser {
public:
    FileTIFAnalyser() : CTitledFileAnalyser(60) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "MI"; }
};
