#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

// MP3 audio behind an ID3v2 tag; the song title and year name the file.
class FileMP3Analyser : public IRawFileAnalyser {
public:
    FileMP3Analyser() : IRawFileAnalyser(41) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    std::string_view FirstBytes() const override { return "I"; }
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string GetTitleText() override { return m_strTitle; }
    std::string GetDetailText() override { return m_strDetail; }

    // Length in bytes of the MPEG audio frame whose 4-byte header is given, or 0 when the header
    // is not valid.
    static uint32_t FrameLength(const uint8_t* pHeader);

private:
    std::string m_strTitle;   // song title
    std::string m_strDetail;  // year
};
