#pragma once

#include "Analysers/CTitledFileAnalyser.h"

// gzip files: measured by inflating them; named by the original file name a member header keeps.
class FileGZAnalyser : public CTitledFileAnalyser {
public:
    FileGZAnalyser() : CTitledFileAnalyser(29) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\x1F"; }
};
