#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

class CRawFileReader;

class FileJPGAnalyser : public IRawFileAnalyser {
public:
    FileJPGAnalyser() : IRawFileAnalyser(33) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    // Also takes the camera model (title) and the original date-time (detail) from EXIF.
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string GetTitleText() override { return m_strTitle; }
    std::string GetDetailText() override { return m_strDetail; }
    std::string_view FirstBytes() const override { return "\xFF"; }

private:
    void ReadExif(CRawFileReader& rd, CRawFileInfo* pInfo);

    std::string m_strTitle;
    std::string m_strDetail;
};
