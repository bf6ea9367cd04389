#pragma once

#include "Analysers/IRawFileAnalyser.h"

// bzip2 streams: blocks and the end-of-stream marker found by their bit-aligned magic numbers, the
// stream CRC combined from the blocks' CRCs.
class FileBZ2Analyser : public IRawFileAnalyser {
public:
    FileBZ2Analyser() : IRawFileAnalyser(86) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "B"; }
};
