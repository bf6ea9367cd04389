#include "CKivExFatRunBuilder.h"

#include <unordered_set>

using Damage = CKivFileAttrExFAT::Damage;

CKivExFatRunBuilder::CKivExFatRunBuilder(const CKivExFatTable* pFat, const CKivExFatBitmap* pBitmap,
                                         uint32_t nClusters, uint64_t nClusterBytes)
    : m_pFat(pFat), m_pBitmap(pBitmap), m_nClusters(nClusters), m_nClusterBytes(nClusterBytes ? nClusterBytes : 512) {}

void CKivExFatRunBuilder::Add(std::vector<KivDataRun>* pRuns, uint64_t nStart, uint64_t nLen) {
    if (!pRuns->empty() && pRuns->back().nStart + pRuns->back().nLength == nStart) {
        pRuns->back().nLength += nLen;
        return;
    }
    pRuns->push_back({nStart, nLen});
}

std::vector<uint32_t> CKivExFatRunBuilder::ClustersOf(const std::vector<KivDataRun>& runs) {
    std::vector<uint32_t> out;
    for (const KivDataRun& r : runs)
        for (uint64_t i = 0; i < r.nLength; ++i) out.push_back(static_cast<uint32_t>(r.nStart + i + 2));
    return out;
}

CKivExFatRunBuilder::Result CKivExFatRunBuilder::Contiguous(uint32_t nFirst, uint64_t nCount) const {
    Result res;
    if (!IsHeapCluster(nFirst)) {
        res.damage = CKivFileAttrExFAT::kPastEnd;
        return res;
    }
    uint64_t nAvail = m_nClusters - (nFirst - 2);
    if (nCount > nAvail) res.damage = CKivFileAttrExFAT::kPastEnd;
    Add(&res.runs, nFirst - 2, std::min(nCount, nAvail));
    return res;
}

bool CKivExFatRunBuilder::Follow(uint32_t nFirst, uint64_t nCount, bool bExact, std::vector<KivDataRun>* pRuns,
                                 uint64_t* pTaken, uint32_t* pLast) const {
    *pTaken = 0;
    if (!IsHeapCluster(nFirst) || nCount == 0) return false;
    std::unordered_set<uint32_t> seen;
    uint32_t c = nFirst;
    for (;;) {
        if (!seen.insert(c).second) return false;  // a loop
        Add(pRuns, c - 2, 1);
        ++*pTaken;
        *pLast = c;
        uint32_t v = m_pFat->Entry(c);
        if (*pTaken == nCount) return !bExact || v == CKivExFatTable::kEnd;
        if (v == CKivExFatTable::kEnd || v < 2) return !bExact;
        if (!IsHeapCluster(v)) return false;  // bad mark or outside the heap
        c = v;
    }
}

bool CKivExFatRunBuilder::AnyAllocated(const std::vector<KivDataRun>& runs) const {
    if (!m_pBitmap || !m_pBitmap->IsLoaded()) return false;
    for (const KivDataRun& r : runs)
        for (uint64_t i = 0; i < r.nLength; ++i)
            if (m_pBitmap->IsAllocated(r.nStart + i + 2)) return true;
    return false;
}

CKivExFatRunBuilder::Result CKivExFatRunBuilder::Live(uint32_t nFirst, uint64_t nBytes, bool bNoFatChain) const {
    uint64_t nCount = ClustersFor(nBytes);
    if (nCount == 0) return {};
    if (bNoFatChain || !m_pFat || !m_pFat->IsLoaded()) return Contiguous(nFirst, nCount);
    Result res;
    uint64_t nTaken = 0;
    uint32_t nLast = nFirst;
    if (!Follow(nFirst, nCount, false, &res.runs, &nTaken, &nLast)) {
        res.damage = IsHeapCluster(nFirst) ? CKivFileAttrExFAT::kBadChain : CKivFileAttrExFAT::kPastEnd;
        return res;
    }
    if (nTaken < nCount) {
        // The chain ends early: the rest is taken to follow its last cluster.
        Result rest = Contiguous(nLast + 1, nCount - nTaken);
        for (const KivDataRun& r : rest.runs) Add(&res.runs, r.nStart, r.nLength);
        res.damage = rest.damage;
    }
    return res;
}

CKivExFatRunBuilder::Result CKivExFatRunBuilder::Deleted(uint32_t nFirst, uint64_t nBytes, bool bNoFatChain) const {
    uint64_t nCount = ClustersFor(nBytes);
    if (nCount == 0) return {};
    Result res;
    if (bNoFatChain) {
        res = Contiguous(nFirst, nCount);
    } else {
        uint64_t nTaken = 0;
        uint32_t nLast = 0;
        if (m_pFat && m_pFat->IsLoaded() && Follow(nFirst, nCount, true, &res.runs, &nTaken, &nLast)) {
            // The whole chain is still in the table.
        } else if (!IsHeapCluster(nFirst)) {
            return {{}, CKivFileAttrExFAT::kPastEnd};
        } else {
            res.runs.clear();
            bool bReused = m_pBitmap && m_pBitmap->IsAllocated(nFirst);
            res.damage = CKivFileAttrExFAT::kGuessed;
            uint64_t nLeft = nCount;
            // Clusters allocated since belong to someone else and cannot hold what survives.
            for (uint64_t c = nFirst; nLeft && c; c = m_pBitmap ? m_pBitmap->NextFree(c + 1) : c + 1) {
                if (!IsHeapCluster(c)) break;
                if (c == nFirst || !m_pBitmap || !m_pBitmap->IsAllocated(c)) {
                    Add(&res.runs, c - 2, 1);
                    --nLeft;
                }
            }
            if (nLeft) res.damage = CKivFileAttrExFAT::kPastEnd;
            // The start itself was written over: nothing guessed after it can be trusted.
            if (bReused) res.damage = CKivFileAttrExFAT::kReused;
            return res;
        }
    }
    if (res.damage == CKivFileAttrExFAT::kIntact && AnyAllocated(res.runs)) res.damage = CKivFileAttrExFAT::kReused;
    return res;
}

std::vector<uint32_t> CKivExFatRunBuilder::ChainClusters(uint32_t nFirst, uint64_t nMax) const {
    std::vector<uint32_t> out;
    std::unordered_set<uint32_t> seen;
    for (uint32_t c = nFirst; IsHeapCluster(c) && out.size() < nMax && seen.insert(c).second;) {
        out.push_back(c);
        if (!m_pFat || !m_pFat->IsLoaded()) break;
        c = m_pFat->Next(c);
    }
    return out;
}
