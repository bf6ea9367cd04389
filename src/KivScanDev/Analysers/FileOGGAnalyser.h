#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

// Ogg sound (Vorbis, Opus): pages checked by their CRC, up to the page that ends the last of the
// file's streams.
class FileOGGAnalyser : public IRawFileAnalyser {
public:
    FileOGGAnalyser() : IRawFileAnalyser(81) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "O"; }
    std::string GetTitleText() override { return m_strTitle; }

private:
    std::string m_strTitle;  // TITLE of the comment header
};
