#pragma once

#include "Analysers/CTitledFileAnalyser.h"

// MP3 audio behind an ID3v2 tag; the song title and year name the file.
class FileMP3Analyser : public CTitledFileAnalyser {
public:
    FileMP3Analyser() : CTitledFileAnalyser(41) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "I"; }

    // Length in bytes of the MPEG audio frame whose 4-byte header is given, or 0 when the header
    // is not valid.
    static uint32_t FrameLength(const uint8_t* pHeader);
};
