#include "CKivExtDataMap.h"

#include <algorithm>

#include "CKivExtInode.h"
#include "KivByteReader.h"

namespace {

constexpr uint16_t kExtentMagic = 0xF30A;
constexpr uint32_t kUninitLength = 32768;

}  // namespace

int CKivExtDataMap::CheckNode(const uint8_t* p, size_t n, uint32_t nDepth) {
    KivByteReader r(p, n);
    if (n < 12 || r.U16At(0) != kExtentMagic) return -1;
    uint16_t nEntries = r.U16At(2), nMax = r.U16At(4), nNodeDepth = r.U16At(6);
    if (nEntries > nMax || 12 + size_t(nMax) * 12 > n) return -1;
    if (nNodeDepth > kMaxDepth || (nDepth != ~0u && nNodeDepth != nDepth)) return -1;
    return nEntries;
}

bool CKivExtDataMap::ReadMeta(uint64_t nBlock, std::vector<uint8_t>* pOut) {
    if (nBlock == 0 || nBlock >= m_nBlocksCount || !m_seen.insert(nBlock).second ||
        ++m_nMetaReads > kMaxMetaBlocks || !m_read(nBlock, pOut) || pOut->size() < m_nBlockSize) {
        m_bDamaged = true;
        return false;
    }
    if (m_pMeta) m_pMeta->push_back(nBlock);
    return true;
}

void CKivExtDataMap::AddExtent(uint64_t nLogical, uint64_t nPhysical, uint64_t nLength, bool bUninit,
                               uint64_t nLimit) {
    if (nLength == 0 || nLogical >= nLimit) return;
    nLength = std::min(nLength, nLimit - nLogical);
    // A pointer past the volume's end keeps only what lies inside it.
    if (nPhysical == 0 || nPhysical >= m_nBlocksCount) {
        m_bDamaged = true;
        return;
    }
    if (nLength > m_nBlocksCount - nPhysical) {
        m_bDamaged = true;
        nLength = m_nBlocksCount - nPhysical;
    }
    if (!m_out.empty()) {
        KivExtExtent& b = m_out.back();
        if (b.bUninit == bUninit && b.nLogical + b.nLength == nLogical && b.nPhysical + b.nLength == nPhysical) {
            b.nLength += nLength;
            return;
        }
    }
    m_out.push_back({nLogical, nPhysical, nLength, bUninit});
}

void CKivExtDataMap::Node(const uint8_t* p, size_t n, uint32_t nDepth, uint64_t nLimit) {
    int nEntries = CheckNode(p, n, nDepth);
    if (nEntries < 0) {
        m_bDamaged = true;
        return;
    }
    KivByteReader r(p, n);
    uint32_t nDepthHere = r.U16At(6);
    for (int i = 0; i < nEntries; ++i) {
        size_t off = 12 + size_t(i) * 12;
        uint64_t nLogical = r.U32At(off);
        if (nDepthHere == 0) {
            uint32_t nLen = r.U16At(off + 4);
            bool bUninit = nLen > kUninitLength;
            if (bUninit) nLen -= kUninitLength;
            uint64_t nPhys = r.U32At(off + 8) | (uint64_t(r.U16At(off + 6)) << 32);
            AddExtent(nLogical, nPhys, nLen, bUninit, nLimit);
        } else {
            if (nLogical >= nLimit) break;
            uint64_t nChild = r.U32At(off + 4) | (uint64_t(r.U16At(off + 8)) << 32);
            std::vector<uint8_t> child;
            if (!ReadMeta(nChild, &child)) continue;
            Node(child.data(), m_nBlockSize, nDepthHere - 1, nLimit);
        }
    }
}

void CKivExtDataMap::Indirect(uint64_t nBlock, uint32_t nLevel, uint64_t nFirstLogical, uint64_t nLimit) {
    if (nBlock == 0 || nFirstLogical >= nLimit) return;  // a hole
    std::vector<uint8_t> b;
    if (!ReadMeta(nBlock, &b)) return;
    KivByteReader r(b.data(), m_nBlockSize);
    const uint64_t nPer = m_nBlockSize / 4;
    uint64_t nSpan = 1;
    for (uint32_t i = 0; i < nLevel; ++i) nSpan *= nPer;
    for (uint64_t i = 0; i < nPer; ++i) {
        uint64_t nLogical = nFirstLogical + i * nSpan;
        if (nLogical >= nLimit) break;
        uint32_t nPtr = r.U32At(i * 4);
        if (nLevel == 0) {
            if (nPtr) AddExtent(nLogical, nPtr, 1, false, nLimit);
        } else {
            Indirect(nPtr, nLevel - 1, nLogical, nLimit);
        }
    }
}

std::vector<KivExtExtent> CKivExtDataMap::Map(const CKivExtInode& ino, uint64_t nLogicalBlocks,
                                              std::vector<uint64_t>* pMeta) {
    m_out.clear();
    m_seen.clear();
    m_bDamaged = false;
    m_nMetaReads = 0;
    m_pMeta = pMeta;
    if (m_nBlockSize < 1024) return {};
    if (ino.HasExtents()) {
        Node(ino.m_block.data(), ino.m_block.size(), ~0u, nLogicalBlocks);
    } else {
        KivByteReader r(ino.m_block.data(), ino.m_block.size());
        for (uint32_t i = 0; i < 12; ++i) {
            uint32_t nPtr = r.U32At(i * 4);
            if (nPtr) AddExtent(i, nPtr, 1, false, nLogicalBlocks);
        }
        const uint64_t nPer = m_nBlockSize / 4;
        uint64_t nFirst = 12;
        for (uint32_t lvl = 0; lvl < 3; ++lvl) {
            Indirect(r.U32At((12 + lvl) * 4), lvl, nFirst, nLogicalBlocks);
            uint64_t nSpan = 1;
            for (uint32_t i = 0; i <= lvl; ++i) nSpan *= nPer;
            nFirst += nSpan;
        }
    }
    m_pMeta = nullptr;
    // Extents come in logical order in a sound tree; one that goes back overlaps what came before.
    std::stable_sort(m_out.begin(), m_out.end(),
                     [](const KivExtExtent& a, const KivExtExtent& b) { return a.nLogical < b.nLogical; });
    std::vector<KivExtExtent> out;
    for (const KivExtExtent& e : m_out) {
        if (!out.empty() && e.nLogical < out.back().nLogical + out.back().nLength) {
            m_bDamaged = true;
            continue;
        }
        out.push_back(e);
    }
    return out;
}

std::vector<KivDataRun> CKivExtDataMap::ToRuns(const std::vector<KivExtExtent>& extents, uint64_t nLogicalBlocks) {
    std::vector<KivDataRun> runs;
    auto Add = [&runs](uint64_t nStart, uint64_t nLen) {
        if (nLen == 0) return;
        if (!runs.empty()) {
            KivDataRun& b = runs.back();
            bool bSparse = nStart == KIV_SPARSE_RUN;
            if (bSparse && b.nStart == KIV_SPARSE_RUN) {
                b.nLength += nLen;
                return;
            }
            if (!bSparse && b.nStart != KIV_SPARSE_RUN && b.nStart + b.nLength == nStart) {
                b.nLength += nLen;
                return;
            }
        }
        runs.push_back({nStart, nLen});
    };
    uint64_t nAt = 0;
    for (const KivExtExtent& e : extents) {
        if (e.nLogical >= nLogicalBlocks) break;
        if (e.nLogical > nAt) Add(KIV_SPARSE_RUN, e.nLogical - nAt);
        uint64_t nLen = std::min(e.nLength, nLogicalBlocks - e.nLogical);
        Add(e.bUninit ? KIV_SPARSE_RUN : e.nPhysical, nLen);
        nAt = e.nLogical + nLen;
    }
    if (nAt < nLogicalBlocks) Add(KIV_SPARSE_RUN, nLogicalBlocks - nAt);
    return runs;
}
