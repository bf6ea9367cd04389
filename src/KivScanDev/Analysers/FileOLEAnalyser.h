#pragma once

#include "Analysers/IRawFileAnalyser.h"

// Compound files, refined by the names of their first directory entries (Word, Excel,
// PowerPoint, Visio, Publisher ...).
class FileOLEAnalyser : public IRawFileAnalyser {
public:
    FileOLEAnalyser() : IRawFileAnalyser(44) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "\xD0"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
};
