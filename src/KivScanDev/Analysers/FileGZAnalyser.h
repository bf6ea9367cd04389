#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

// gzip files: measured by inflating them; named by the original file name a member header keeps.
class FileGZAnalyser : public IRawFileAnalyser {
public:
    FileGZAnalyser() : IRawFileAnalyser(29) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "\x1F"; }
    std::string GetTitleText() override { return m_strTitle; }

private:
    std::string m_strTitle;
};
