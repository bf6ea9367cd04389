// One carved file and the scan-wide list that collects them.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Model/KivShortText.h"

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

// 56 bytes: a scan of a large disk may hold millions.
class CRawFileInfo {
public:
    uint64_t m_nStartSector = 0;  // in sectors of the scanned device
    uint64_t m_nSize = 0;         // bytes; 0 = not measured yet
    uint32_t m_nTypeId = 0;       // carving type id, possibly refined by the analyser
    uint32_t m_nAnalyserId = 0xFFFF;
    IRawFileAnalyser* m_pAnalyser = nullptr;  // borrowed from the analyser registry
    KivShortText m_strTitle;      // prefix of the generated name when not empty
    KivShortText m_strDetail;     // text of the file's RAW attribute
    uint8_t m_nDamage = kCarveWhole;  // set by the measurement together with the size
};
static_assert(sizeof(CRawFileInfo) <= 64, "a carved file's record stays small");

// Owns the records in the order found, side by side in memory (no allocation of its own per
// record); a record keeps its address while the list lives.
class CRawFileList {
public:
    // Takes the record over (pInfo is freed) and answers where the list keeps it.
    CRawFileInfo* Add(CRawFileInfo* pInfo) {
        std::unique_ptr<CRawFileInfo> p(pInfo);
        return Add(std::move(*p));
    }
    CRawFileInfo* Add(CRawFileInfo&& info) {
        // The scan finds files in ascending sectors; only lists put together otherwise need a sort.
        if (!m_items.empty() && info.m_nStartSector < m_items.back().m_nStartSector) m_bSorted = false;
        m_items.push_back(std::move(info));
        m_byStart.clear();
        return &m_items.back();
    }
    size_t Size() const { return m_items.size(); }
    CRawFileInfo* At(size_t i) const { return const_cast<CRawFileInfo*>(&m_items[i]); }
    // The first record (in list order among equal starts) that starts at nStart, or null.
    const CRawFileInfo* FindByStart(uint64_t nStart) const {
        if (m_bSorted) {
            size_t lo = 0, hi = m_items.size();
            while (lo < hi) {
                size_t mid = lo + (hi - lo) / 2;
                if (m_items[mid].m_nStartSector < nStart)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            return lo < m_items.size() && m_items[lo].m_nStartSector == nStart ? &m_items[lo] : nullptr;
        }
        if (m_byStart.empty())
            for (const CRawFileInfo& r : m_items) m_byStart.emplace(r.m_nStartSector, &r);
        auto it = m_byStart.find(nStart);
        return it != m_byStart.end() ? it->second : nullptr;
    }
    // The first start sector after nStart among the records; false when none lies after it.
    bool NextStartAfter(uint64_t nStart, uint64_t* pNext) const {
        if (m_bSorted) {
            size_t lo = 0, hi = m_items.size();
            while (lo < hi) {
                size_t mid = lo + (hi - lo) / 2;
                if (m_items[mid].m_nStartSector <= nStart)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            if (lo == m_items.size()) return false;
            *pNext = m_items[lo].m_nStartSector;
            return true;
        }
        if (m_byStart.empty())
            for (const CRawFileInfo& r : m_items) m_byStart.emplace(r.m_nStartSector, &r);
        auto it = m_byStart.upper_bound(nStart);
        if (it == m_byStart.end()) return false;
        *pNext = it->first;
        return true;
    }
    void Clear() {
        m_byStart.clear();
        m_items.clear();
        m_bSorted = true;
    }

private:
    std::deque<CRawFileInfo> m_items;
    bool m_bSorted = true;  // m_items in ascending start sectors
    mutable std::multimap<uint64_t, const CRawFileInfo*> m_byStart;  // made when first asked, if unsorted
};
