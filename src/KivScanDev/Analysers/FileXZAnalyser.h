#pragma once

#include "Analysers/IRawFileAnalyser.h"

// xz streams: blocks walked by their headers and LZMA2 chunk headers, then the index and the
// stream footer, each checked by its CRC-32.
class FileXZAnalyser : public IRawFileAnalyser {
public:
    FileXZAnalyser() : IRawFileAnalyser(85) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\xFD"; }
};
