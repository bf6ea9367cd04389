#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

// FLAC sound: metadata blocks, then frames, each decoded far enough to find its end and checked
// by its CRC-16, up to the last frame of the stream.
class FileFLACAnalyser : public IRawFileAnalyser {
public:
    FileFLACAnalyser() : IRawFileAnalyser(80) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "f"; }
    std::string GetTitleText() override { return m_strTitle; }

private:
    std::string m_strTitle;  // TITLE of the Vorbis comment block
};
