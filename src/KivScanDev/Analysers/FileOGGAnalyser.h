#pragma once

#include "Analysers/CTitledFileAnalyser.h"

// Ogg sound (Vorbis, Opus): pages checked by their CRC, up to the page that ends the last of the
// file's streams.
class FileOGGAnalyser : public CTitledFileAnalyser {
public:
    FileOGGAnalyser() : CTitledFileAnalyser(81) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "O"; }
};
