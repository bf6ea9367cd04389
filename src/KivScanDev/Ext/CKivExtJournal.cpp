#include "CKivExtJournal.h"

#include <algorithm>

#include "KivByteReader.h"

namespace {

enum : uint32_t { kDescriptor = 1, kCommit = 2, kSuperV1 = 3, kSuperV2 = 4 };
enum : uint32_t { kIncompat64Bit = 0x2, kIncompatCsumV2 = 0x8, kIncompatCsumV3 = 0x10 };
enum : uint32_t { kTagEscape = 0x1, kTagSameUuid = 0x2, kTagLast = 0x8 };

}  // namespace

bool CKivExtJournal::ReadLogical(uint64_t nLogical, std::vector<uint8_t>* pOut) const {
    auto it = std::upper_bound(m_extents.begin(), m_extents.end(), nLogical,
                               [](uint64_t n, const KivExtExtent& e) { return n < e.nLogical; });
    if (it == m_extents.begin()) return false;
    --it;
    if (nLogical >= it->nLogical + it->nLength || it->bUninit) return false;
    return m_read(it->nPhysical + (nLogical - it->nLogical), pOut) && pOut->size() >= m_nBlockSize;
}

bool CKivExtJournal::Load(const std::vector<KivExtExtent>& extents, uint32_t nBlockSize, const ReadBlock& read,
                          const std::function<bool(uint64_t)>& wanted) {
    m_extents = extents;
    m_nBlockSize = nBlockSize;
    m_read = read;
    m_copies.clear();
    m_nCopies = 0;
    std::vector<uint8_t> b;
    if (!ReadLogical(0, &b)) return false;
    KivByteReader sb(b.data(), nBlockSize);
    uint32_t nType = sb.U32BEAt(4);
    if (sb.U32BEAt(0) != kMagic || (nType != kSuperV1 && nType != kSuperV2) || sb.U32BEAt(12) != nBlockSize)
        return false;
    uint64_t nMax = std::min<uint64_t>(sb.U32BEAt(16), kMaxBlocks);
    uint64_t nFirst = sb.U32BEAt(20);
    uint32_t nIncompat = nType == kSuperV2 ? sb.U32BEAt(0x28) : 0;
    if (nFirst == 0 || nFirst >= nMax) return false;
    size_t nTag = 12;
    if (nIncompat & kIncompatCsumV3) {
        nTag = 16;
    } else {
        if (nIncompat & kIncompatCsumV2) nTag += 2;
        if (!(nIncompat & kIncompat64Bit)) nTag -= 4;
    }
    const size_t nTail = (nIncompat & (kIncompatCsumV2 | kIncompatCsumV3)) ? 4 : 0;

    struct Found {
        uint64_t nBlock;
        Copy c;
    };
    std::vector<Found> found;
    std::set<uint32_t> commits;
    for (uint64_t j = nFirst; j < nMax; ++j) {
        if (!ReadLogical(j, &b)) continue;
        KivByteReader r(b.data(), nBlockSize);
        if (r.U32BEAt(0) != kMagic) continue;
        uint32_t t = r.U32BEAt(4), nSeq = r.U32BEAt(8);
        if (t == kCommit) {
            commits.insert(nSeq);
            continue;
        }
        if (t != kDescriptor) continue;
        uint64_t k = j;
        for (size_t off = 12; off + nTag + nTail <= nBlockSize;) {
            uint64_t nFs = r.U32BEAt(off);
            uint32_t nFlags = nTag == 16 ? r.U32BEAt(off + 4) : r.U16BEAt(off + 6);
            if (nIncompat & kIncompat64Bit) nFs |= uint64_t(r.U32BEAt(off + 8)) << 32;
            // The data blocks follow the descriptor in the area, wrapping at its end.
            if (++k >= nMax) k = nFirst;
            if (wanted(nFs)) found.push_back({nFs, {nSeq, k, (nFlags & kTagEscape) != 0}});
            off += nTag + ((nFlags & kTagSameUuid) ? 0 : 16);
            if (nFlags & kTagLast) break;
        }
    }
    for (const Found& f : found) {
        if (!commits.count(f.c.nSeq)) continue;  // never committed: not a state the volume was in
        m_copies[f.nBlock].push_back(f.c);
        ++m_nCopies;
    }
    for (auto& [n, v] : m_copies)
        std::stable_sort(v.begin(), v.end(), [](const Copy& a, const Copy& b) { return a.nSeq > b.nSeq; });
    return true;
}

std::vector<std::vector<uint8_t>> CKivExtJournal::Copies(uint64_t nBlock) const {
    std::vector<std::vector<uint8_t>> out;
    auto it = m_copies.find(nBlock);
    if (it == m_copies.end()) return out;
    for (const Copy& c : it->second) {
        std::vector<uint8_t> b;
        if (!ReadLogical(c.nJournalBlock, &b)) continue;
        b.resize(m_nBlockSize);
        if (c.bEscaped) {
            b[0] = 0xC0;
            b[1] = 0x3B;
            b[2] = 0x39;
            b[3] = 0x98;
        }
        out.push_back(std::move(b));
    }
    return out;
}
