// A file-format analyser: recognises the first sector of its format and measures the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "IKivDevStor.h"
#include "Model/CRawFileInfo.h"

class IRawFileAnalyser {
public:
    explicit IRawFileAnalyser(int32_t nId) : m_nId(nId) {}
    virtual ~IRawFileAnalyser() = default;
    // Reads the file from pStor starting at the record's start sector; on true the record's size
    // (and possibly its type id and texts) is set.
    virtual bool MeasureFile(CRawFileInfo* /*pInfo*/, IKivDevStor* /*pStor*/) { return true; }
    // sector: one whole sector (at least 512 bytes). On true the record's type id is set, and its
    // size when the header states it.
    virtual bool CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) = 0;
    virtual std::string GetTitleText() { return {}; }
    virtual std::string GetDetailText() { return {}; }
    // The values byte 0 of a sector may have when CheckHeader accepts it; empty when any value may
    // (formats recognised at other offsets). The analyser table indexes analysers by it.
    virtual std::string_view FirstBytes() const { return {}; }

    int32_t GetId() const { return m_nId; }  // base type id; -1 for user-defined headers

protected:
    // CheckHeader's answer for a format told by one test of the sector: on a match the record
    // takes the format's type id.
    static bool Claim(bool bMatch, CRawFileInfo* pInfo, uint32_t nTypeId) {
        if (bMatch) pInfo->m_nTypeId = nTypeId;
        return bMatch;
    }

    int32_t m_nId;
};
