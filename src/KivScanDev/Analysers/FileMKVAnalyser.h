#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

// Matroska and WebM videos: an EBML header and one segment, measured by their element sizes.
class FileMKVAnalyser : public IRawFileAnalyser {
public:
    FileMKVAnalyser() : IRawFileAnalyser(78) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\x1A"; }
    std::string GetTitleText() override { return m_strTitle; }

private:
    std::string m_strTitle;  // the segment's title, when its information element holds one
};
