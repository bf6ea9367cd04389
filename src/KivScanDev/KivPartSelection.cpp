#include "KivPartSelection.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

uint64_t SatAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

uint64_t RawEvidence(const CKivScanResPart* p) {
    uint64_t nB = p->m_nEvidenceB > UINT64_MAX / 50 ? UINT64_MAX : p->m_nEvidenceB * 50;
    return SatAdd(SatAdd(nB, p->m_nEvidenceC), p->m_nEvidenceA);
}

double LogOrSelf(uint64_t n) { return n < 2 ? static_cast<double>(n) : std::log(static_cast<double>(n)); }

struct Range {
    uint64_t nBegin;
    uint64_t nEnd;  // exclusive
};

// Index of the free range that holds the whole candidate, or -1.
int FindHolder(const std::vector<Range>& free, const CKivScanResPart* p) {
    uint64_t nFirst = p->m_nFirstSector;
    if (p->m_nSectorCount > UINT64_MAX - nFirst) return -1;
    uint64_t nEnd = nFirst + p->m_nSectorCount;
    for (size_t i = 0; i < free.size(); ++i)
        if (nFirst >= free[i].nBegin && nEnd <= free[i].nEnd) return static_cast<int>(i);
    return -1;
}

// Moves the candidate up to position 1 when it stands at 2 or later; it takes the score of the
// candidate that stood at 1.
void MoveToSecond(std::vector<CKivScanResPart*>& list, CKivScanResPart* p) {
    auto it = std::find(list.begin(), list.end(), p);
    if (it == list.end() || std::distance(list.begin(), it) < 2) return;
    p->m_dScore = list[1]->m_dScore;
    list.erase(it);
    list.insert(list.begin() + 1, p);
}

}  // namespace

void KivScoreAndSelectParts(std::vector<CKivScanResPart*>& list, uint64_t nDeviceSectors, const KivHasTreeFn& hasTree) {
    auto treeless = [&hasTree](CKivScanResPart* p) { return hasTree && !hasTree(p); };
    uint64_t nMax = 0;
    for (const CKivScanResPart* p : list) nMax = std::max(nMax, RawEvidence(p));
    double dL = nMax < 2 ? 1.0 : std::log(static_cast<double>(nMax));
    for (CKivScanResPart* p : list) p->m_dScore = LogOrSelf(RawEvidence(p)) / dL;

    std::stable_sort(list.begin(), list.end(),
                     [](const CKivScanResPart* a, const CKivScanResPart* b) { return a->m_dScore > b->m_dScore; });

    std::vector<Range> free{{0, nDeviceSectors}};
    std::vector<CKivScanResPart*> open = list;
    for (int nPicks = 0;; ++nPicks) {
        CKivScanResPart* pBest = nullptr;
        int nHolder = -1;
        for (CKivScanResPart* p : open) {
            if (!(p->m_dScore > 0) || (pBest && p->m_dScore <= pBest->m_dScore)) continue;
            int h = FindHolder(free, p);
            if (h < 0) continue;
            pBest = p;
            nHolder = h;
        }
        if (!pBest) break;
        if (treeless(pBest)) {
            open.erase(std::find(open.begin(), open.end(), pBest));
            --nPicks;
            continue;
        }

        pBest->m_nSelected = 1;
        open.erase(std::find(open.begin(), open.end(), pBest));
        Range r = free[static_cast<size_t>(nHolder)];
        free.erase(free.begin() + nHolder);
        uint64_t nEnd = pBest->m_nFirstSector + pBest->m_nSectorCount;
        if (pBest->m_nFirstSector > r.nBegin) free.push_back({r.nBegin, pBest->m_nFirstSector});
        if (nEnd < r.nEnd) free.push_back({nEnd, r.nEnd});
        std::erase_if(open, [&free](const CKivScanResPart* p) { return FindHolder(free, p) < 0; });

        if (nPicks < 4) MoveToSecond(list, pBest);
    }

    for (size_t i = 0; i < list.size(); ++i) {
        CKivScanResPart* p = list[i];
        uint64_t nDiff = p->m_nSectorCount > nDeviceSectors ? p->m_nSectorCount - nDeviceSectors
                                                            : nDeviceSectors - p->m_nSectorCount;
        if (nDiff > KIV_WHOLE_DEVICE_SLACK) continue;
        if (i == 0) break;
        if (!p->m_nSelected && treeless(p)) continue;
        p->m_nWholeDevice = 1;
        p->m_nSelected = 1;
        MoveToSecond(list, p);
        break;
    }
}
