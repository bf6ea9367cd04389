// One carved file and the scan-wide list that collects them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class IRawFileAnalyser;

class CRawFileInfo {
public:
    uint64_t m_nStartSector = 0;  // in sectors of the scanned device
    uint64_t m_nSize = 0;         // bytes; 0 = not measured yet
    uint32_t m_nTypeId = 0;       // carving type id, possibly refined by the analyser
    uint32_t m_nAnalyserId = 0xFFFF;
    std::string m_strTitle;       // prefix of the generated name when not empty
    std::string m_strDetail;      // text of the file's RAW attribute
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
