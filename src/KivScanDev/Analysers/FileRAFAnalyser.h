#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

// Fujifilm RAF raw files: a header naming the camera and where the preview, the sensor header
// and the sensor data lie.
class FileRAFAnalyser : public IRawFileAnalyser {
public:
    FileRAFAnalyser() : IRawFileAnalyser(99) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "F"; }
    std::string GetTitleText() override { return m_strTitle; }

private:
    std::string m_strTitle;  // the camera model
};
