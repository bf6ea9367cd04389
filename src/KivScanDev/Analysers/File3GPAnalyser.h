#pragma once

#include "Analysers/IRawFileAnalyser.h"

class File3GPAnalyser : public IRawFileAnalyser {
public:
    File3GPAnalyser() : IRawFileAnalyser(2) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    // The ISO media box walk, shared with the MP4 analyser: boxes of the listed kinds follow the
    // first box until one of another kind (at most 500); the size is the end of the last one.
    static bool MeasureBoxes(CRawFileInfo* pInfo, IKivDevStor* pStor);
};
