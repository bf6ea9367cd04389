#pragma once

#include "Analysers/IRawFileAnalyser.h"

class FileMP4Analyser : public IRawFileAnalyser {
public:
    FileMP4Analyser() : IRawFileAnalyser(42) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;

    // Size of an ISO media file by its top-level boxes (shared with the 3GP family); false when
    // the first box is not usable.
    static bool MeasureBoxes(CRawFileInfo* pInfo, IKivDevStor* pStor);
};
