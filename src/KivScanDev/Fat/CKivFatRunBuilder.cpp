#include "CKivFatRunBuilder.h"

#include <unordered_set>

#include "KivAllocSize.h"

CKivFatRunBuilder::CKivFatRunBuilder(IKivFATTable* pTable, uint64_t nDataClusters, uint64_t nClusterBytes)
    : m_pTable(pTable), m_nClusters(nDataClusters), m_nClusterBytes(nClusterBytes ? nClusterBytes : 512) {}

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
            AddRun(&runs, next - 2, 1);
            cur = next;
            nCovered += m_nClusterBytes;
        }
        nNextStart = cur + 1;
    }
    if (nCovered < nSize && nNextStart >= 2) {
        uint64_t nRest = (nSize - nCovered + m_nClusterBytes - 1) / m_nClusterBytes;
        uint64_t nRel = nNextStart - 2;
        if (nRel <= m_nClusters && nRest <= m_nClusters - nRel) AddRun(&runs, nRel, nRest);
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

std::vector<KivDataRun> CKivFatRunBuilder::DeletedRuns(uint32_t nFirst, uint64_t nSize) {
    std::vector<KivDataRun> runs;
    if (!IsDataCluster(nFirst) || nSize == 0) return runs;
    uint64_t nNeed = (nSize + m_nClusterBytes - 1) / m_nClusterBytes;
    for (uint64_t c = NextFree(nFirst - 2); nNeed && c < m_nClusters; c = NextFree(c + 1)) {
        AddRun(&runs, c, 1);
        --nNeed;
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
