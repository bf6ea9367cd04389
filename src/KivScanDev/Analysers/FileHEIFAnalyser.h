#pragma once

#include "Analysers/IRawFileAnalyser.h"

// HEIF pictures (HEIC, the phones' photos) and AVIF pictures: ISO base media files told by their
// file-type box's brand.
class FileHEIFAnalyser : public IRawFileAnalyser {
public:
    FileHEIFAnalyser() : IRawFileAnalyser(75) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return {"\0", 1}; }
};
