#pragma once

#include "Analysers/IRawFileAnalyser.h"

// Canon CR3 raw files: ISO base media files of brand "crx ".
class FileCR3Analyser : public IRawFileAnalyser {
public:
    FileCR3Analyser() : IRawFileAnalyser(77) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return {"\0", 1}; }
};
