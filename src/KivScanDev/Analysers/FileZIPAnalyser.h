#pragma once

#include "Analysers/IRawFileAnalyser.h"

// ZIP archives, refined to the Office Open XML and OpenDocument types, EPUB books and zipped
// drawings.
class FileZIPAnalyser : public IRawFileAnalyser {
public:
    FileZIPAnalyser() : IRawFileAnalyser(68) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "P"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;

private:
    bool m_bOffice = false;   // the first entry is the Office content-types part
    bool m_bDrawing = false;  // the first entry is a zipped drawing's data part
};
