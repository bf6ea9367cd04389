// One carved file and the scan-wide list that collects them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class IRawFileAnalyser;

// What is known to be wrong with the bytes carved for a file (CRawFileInfo::m_nDamage).
enum KivCarveDamage : uint8_t {
    kCarveWhole = 0,
    kCarveEndNotFound = 1,  // the file's end was not found: the bytes stop at the format's limit
    kCarveCutByMedium = 2,  // the file runs past the end of the medium
};
// The reason recovery reports for a damaged carved file; null for a whole one.
inline const char* KivCarveDamageText(uint8_t nDamage) {
    switch (nDamage) {
        case kCarveWhole: return nullptr;
        case kCarveCutByMedium: return "cut by the end of the medium";
        default: return "end not found";
    }
}

class CRawFileInfo {
public:
    uint64_t m_nStartSector = 0;  // in sectors of the scanned device
    uint64_t m_nSize = 0;         // bytes; 0 = not measured yet
    uint32_t m_nTypeId = 0;       // carving type id, possibly refined by the analyser
    uint32_t m_nAnalyserId = 0xFFFF;
    std::string m_strTitle;       // prefix of the generated name when not empty
    std::string m_strDetail;      // text of the file's RAW attribute
    uint8_t m_nDamage = kCarveWhole;  // set by the measurement together with the size
    IRawFileAnalyser* m_pAnalyser = nullptr;  // borrowed from the analyser registry
};

// Owns the records in the order found, with an index by start sector.
class CRawFileList {
public:
    // Takes ownership.
    void Add(CRawFileInfo* pInfo) {
        m_items.emplace_back(pInfo);
        m_byStart.emplace(pInfo->m_nStartSector, pInfo);
    }
    size_t Size() const { return m_items.size(); }
    CRawFileInfo* At(size_t i) const { return m_items[i].get(); }
    const std::multimap<uint64_t, CRawFileInfo*>& ByStart() const { return m_byStart; }
    void Clear() {
        m_byStart.clear();
        m_items.clear();
    }

private:
    std::vector<std::unique_ptr<CRawFileInfo>> m_items;
    std::multimap<uint64_t, CRawFileInfo*> m_byStart;
};
