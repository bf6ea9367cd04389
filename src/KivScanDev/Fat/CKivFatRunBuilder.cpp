#include "CKivFatRunBuilder.h"

#include <algorithm>
#include <unordered_set>

#include "KivAllocSize.h"
#include "KivLog.h"

// A sound volume has at most one run per cluster for its live files; deleted entries claim the
// same free clusters again, so the budget allows twice the clusters, and never less than a floor.
CKivFatRunBuilder::CKivFatRunBuilder(IKivFATTable* pTable, uint64_t nDataClusters, uint64_t nClusterBytes,
                                     uint64_t nRunBudget)
    : m_pTable(pTable), m_nClusters(nDataClusters), m_nClusterBytes(nClusterBytes ? nClusterBytes : 512),
      m_nRunBudget(nRunBudget ? nRunBudget : std::max<uint64_t>(kMinRunBudget, 2 * nDataClusters)) {}

bool CKivFatRunBuilder::TakeRun() {
    if (m_nRunBudget == 0) return false;
    if (--m_nRunBudget == 0)
        KivLogA(0, "CKivFatRunBuilder: run budget spent, later entries keep only their first run");
    return true;
}

void CKivFatRunBuilder::AddRun(std::vector<KivDataRun>* pRuns, uint64_t nStart, uint64_t nLen) {
    if (!pRuns->empty() && pRuns->back().nStart + pRuns->back().nLength == nStart) {
        pRuns->back().nLength += nLen;
        return;
    }
    pRuns->push_back({nStart, nLen});
}

std::vector<KivDataRun> CKivFatRunBuilder::ChainRuns(uint32_t nFirst, uint64_t nSize) {
    std::vector<KivDataRun> runs;
    uint64_t nCovered = 0;
    uint64_t nNextStart = nFirst;  // where assumed clusters continue (absolute cluster number)
    if (IsDataCluster(nFirst)) {
        uint64_t cur = nFirst;
        AddRun(&runs, cur - 2, 1);
        nCovered = m_nClusterBytes;
        // A chain cannot be longer than the data area; the bound ends loops in unchecked tables.
        for (uint64_t nSteps = 1; m_pTable && nCovered < nSize && nSteps < m_nClusters; ++nSteps) {
            uint32_t next = m_pTable->GetEntry(static_cast<uint32_t>(cur));
            if (next < 2 || next >= KIV_FAT_BAD || !IsDataCluster(next)) break;
            // Without budget the file ends here, short of its size: its chain is not guessed on.
            if (next != cur + 1 && !TakeRun()) return runs;
            AddRun(&runs, next - 2, 1);
            cur = next;
            nCovered += m_nClusterBytes;
        }
        nNextStart = cur + 1;
    }
    if (nCovered < nSize && nNextStart >= 2) {
        uint64_t nRest = (nSize - nCovered + m_nClusterBytes - 1) / m_nClusterBytes;
        uint64_t nRel = nNextStart - 2;
        bool bJoins = !runs.empty() && runs.back().nStart + runs.back().nLength == nRel;
        if (nRel <= m_nClusters && nRest <= m_nClusters - nRel && (bJoins || runs.empty() || TakeRun()))
            AddRun(&runs, nRel, nRest);
    }
    return runs;
}

void CKivFatRunBuilder::BuildFreeMap() {
    m_bFreeMapBuilt = true;
    KivAllocSize size((m_nClusters + 63) / 64 * 8);
    m_free.assign((m_nClusters + 63) / 64, 0);
    m_freeWords.assign((m_free.size() + 63) / 64, 0);
    for (uint64_t i = 0; i < m_nClusters; ++i) {
        if (GetEntry(static_cast<uint32_t>(i + 2)) != KIV_FAT_FREE) continue;
        m_free[i / 64] |= 1ull << (i % 64);
        m_freeWords[i / 4096] |= 1ull << ((i / 64) % 64);
    }
}

uint64_t CKivFatRunBuilder::NextFree(uint64_t c) {
    if (!m_bFreeMapBuilt) BuildFreeMap();
    if (c >= m_nClusters) return m_nClusters;
    uint64_t w = c / 64;
    uint64_t bits = m_free[w] & (~0ull << (c % 64));
    if (bits) return w * 64 + __builtin_ctzll(bits);
    // Find the next word with a free bit through the summary.
    for (uint64_t nw = w + 1; nw < m_free.size();) {
        uint64_t s = nw / 64;
        uint64_t sw = m_freeWords[s] & (~0ull << (nw % 64));
        if (sw) {
            uint64_t word = s * 64 + __builtin_ctzll(sw);
            return word * 64 + __builtin_ctzll(m_free[word]);
        }
        nw = (s + 1) * 64;
    }
    return m_nClusters;
}

uint32_t CKivFatRunBuilder::NextFreeAfter(uint32_t c) {
    if (c < 2) c = 1;
    uint64_t n = NextFree(uint64_t(c) - 1);  // relative to cluster 2: the cluster after c
    return n < m_nClusters ? static_cast<uint32_t>(n + 2) : 0;
}

uint64_t CKivFatRunBuilder::FreeEnd(uint64_t c, uint64_t nLimit) {
    nLimit = std::min(nLimit, m_nClusters);
    // Bits past the data area are never set, so the inverted word always ends a stretch there.
    for (uint64_t w = c / 64; c < nLimit; ++w, c = w * 64) {
        uint64_t used = ~m_free[w] & (~0ull << (c % 64));
        if (used) return std::min(nLimit, w * 64 + __builtin_ctzll(used));
    }
    return nLimit;
}

std::vector<KivDataRun> CKivFatRunBuilder::DeletedRuns(uint32_t nFirst, uint64_t nSize) {
    std::vector<KivDataRun> runs;
    if (!IsDataCluster(nFirst) || nSize == 0) return runs;
    uint64_t nNeed = nSize / m_nClusterBytes + (nSize % m_nClusterBytes != 0);
    nNeed = std::min(nNeed, m_nClusters);
    // Whole free stretches at a time: the cost follows the runs, not the clusters.
    for (uint64_t c = NextFree(nFirst - 2); nNeed && c < m_nClusters;) {
        if (!runs.empty() && !TakeRun()) break;
        uint64_t end = FreeEnd(c, c + nNeed);
        AddRun(&runs, c, end - c);
        nNeed -= end - c;
        c = NextFree(end);
    }
    return runs;
}

std::vector<uint32_t> CKivFatRunBuilder::DirClusters(uint32_t nFirst, uint32_t nMaxClusters) {
    std::vector<uint32_t> out;
    std::unordered_set<uint32_t> seen;
    for (uint32_t c = nFirst; IsDataCluster(c) && out.size() < nMaxClusters && seen.insert(c).second;) {
        out.push_back(c);
        if (!m_pTable) break;
        uint32_t next = m_pTable->GetEntry(c);
        if (next < 2 || next >= KIV_FAT_BAD) break;
        c = next;
    }
    return out;
}
