#pragma once

#include "Analysers/CTitledFileAnalyser.h"

// Fujifilm RAF raw files: a header naming the camera and where the preview, the sensor header
// and the sensor data lie.
class FileRAFAnalyser : public CTitledFileAnalyser {
public:
    FileRAFAnalyser() : CTitledFileAnalyser(99) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "F"; }
};
