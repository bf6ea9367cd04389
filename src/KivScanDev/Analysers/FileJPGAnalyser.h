#pragma once

#include "Analysers/CTitledFileAnalyser.h"

class CRawFileReader;

class FileJPGAnalyser : public CTitledFileAnalyser {
public:
    FileJPGAnalyser() : CTitledFileAnalyser(33) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    // Also takes the camera model (title) and the original date-time (detail) from EXIF.
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\xFF"; }

private:
    void ReadExif(CRawFileReader& rd, CRawFileInfo* pInfo);
};
