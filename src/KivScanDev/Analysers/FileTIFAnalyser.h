#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

// TIFF images and the camera raw files built on them (NEF, CR2, ARW, DNG, ORF, RW2, PEF), the raws
// named after the camera's maker and model.
class FileTIFAnalyser : public IRawFileAnalyser {
public:
    FileTIFAnalyser() : IRawFileAnalyser(60) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "MI"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string GetTitleText() override { return m_strTitle; }

private:
    std::string m_strTitle;  // maker and model of a raw file
};
