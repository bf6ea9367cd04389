#pragma once

#include "Analysers/IRawFileAnalyser.h"

// SQLite databases: page size times page count, as the database header states them.
class FileSQLiteAnalyser : public IRawFileAnalyser {
public:
    FileSQLiteAnalyser() : IRawFileAnalyser(87) {}
    bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) override;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) override;
    std::string_view FirstBytes() const override { return "S"; }
};
