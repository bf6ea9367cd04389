#include "CKivBadAreaMap.h"

#include <algorithm>
#include <vector>

const CKivBadAreaMap::Area* CKivBadAreaMap::Find(uint64_t nSector, uint64_t* pFirst, uint64_t* pNextStart) const {
    auto next = m_areas.upper_bound(nSector);
    if (pNextStart) *pNextStart = next == m_areas.end() ? UINT64_MAX : next->first;
    if (next == m_areas.begin()) return nullptr;
    auto it = std::prev(next);
    if (it->second.nEnd <= nSector) return nullptr;
    if (pFirst) *pFirst = it->first;
    return &it->second;
}

bool CKivBadAreaMap::Overlaps(uint64_t nFirst, uint64_t nEnd) const {
    if (nFirst >= nEnd) return false;
    uint64_t nNext = 0;
    return Find(nFirst, nullptr, &nNext) || nNext < nEnd;
}

void CKivBadAreaMap::Split(uint64_t nAt) {
    auto next = m_areas.upper_bound(nAt);
    if (next == m_areas.begin()) return;
    auto it = std::prev(next);
    if (it->first == nAt || it->second.nEnd <= nAt) return;
    Area tail = it->second;
    it->second.nEnd = nAt;
    m_areas.emplace(nAt, tail);
}

void CKivBadAreaMap::Join(Map::iterator it) {
    if (it != m_areas.begin()) {
        auto prev = std::prev(it);
        if (prev->second.nEnd == it->first && Same(prev->second, it->second)) {
            prev->second.nEnd = it->second.nEnd;
            m_areas.erase(it);
            it = prev;
        }
    }
    auto next = std::next(it);
    if (next != m_areas.end() && it->second.nEnd == next->first && Same(it->second, next->second)) {
        it->second.nEnd = next->second.nEnd;
        m_areas.erase(next);
    }
}

void CKivBadAreaMap::Assign(uint64_t nFirst, uint64_t nEnd, const Area* pArea) {
    if (nFirst >= nEnd) return;
    Split(nFirst);
    Split(nEnd);
    m_areas.erase(m_areas.lower_bound(nFirst), m_areas.lower_bound(nEnd));
    if (!pArea) return;
    Area a = *pArea;
    a.nEnd = nEnd;
    Join(m_areas.emplace(nFirst, a).first);
}

void CKivBadAreaMap::MarkFailed(uint64_t nFirst, uint64_t nEnd, bool bImported) {
    Area a;
    a.nKind = KIV_BAD_FAILED;
    a.bImported = bImported;
    Assign(nFirst, nEnd, &a);
}

void CKivBadAreaMap::MarkUntried(uint64_t nFirst, uint64_t nEnd) {
    // Only the gaps: a failed sector stays failed, and an untried area keeps its retry state.
    std::vector<std::pair<uint64_t, uint64_t>> gaps;
    uint64_t pos = nFirst;
    while (pos < nEnd) {
        uint64_t nAreaFirst = 0, nNext = 0;
        if (const Area* a = Find(pos, &nAreaFirst, &nNext)) {
            pos = a->nEnd;
            continue;
        }
        uint64_t e = std::min(nEnd, nNext);
        gaps.emplace_back(pos, e);
        pos = e;
    }
    Area a;
    a.nKind = KIV_BAD_UNTRIED;
    for (auto [f, e] : gaps) Assign(f, e, &a);
}

void CKivBadAreaMap::Clear(uint64_t nFirst, uint64_t nEnd) { Assign(nFirst, nEnd, nullptr); }

void CKivBadAreaMap::GiveUpRetry(uint64_t nFirst, uint64_t nEnd) {
    if (nFirst >= nEnd) return;
    Split(nFirst);
    Split(nEnd);
    std::vector<uint64_t> starts;
    for (auto it = m_areas.lower_bound(nFirst); it != m_areas.end() && it->first < nEnd; ++it)
        if (it->second.nKind == KIV_BAD_UNTRIED) {
            it->second.bNoRetry = true;
            starts.push_back(it->first);
        }
    // Rejoin what the splits cut and the flag made alike.
    for (uint64_t s : {nFirst, nEnd})
        if (auto it = m_areas.find(s); it != m_areas.end()) Join(it);
    for (uint64_t s : starts)
        if (auto it = m_areas.find(s); it != m_areas.end()) Join(it);
}

void CKivBadAreaMap::List(KivBadRanges* pOut, uint64_t nFirst, uint64_t nEnd) const {
    pOut->clear();
    auto it = m_areas.upper_bound(nFirst);
    if (it != m_areas.begin()) --it;
    for (; it != m_areas.end() && it->first < nEnd; ++it) {
        uint64_t f = std::max(it->first, nFirst), e = std::min(it->second.nEnd, nEnd);
        if (f >= e) continue;
        // Ranges of one kind that touch are one range for the caller, whatever their flags.
        if (!pOut->empty() && pOut->back().nEnd == f && pOut->back().nKind == it->second.nKind)
            pOut->back().nEnd = e;
        else
            pOut->push_back({f, e, it->second.nKind});
    }
}
