#include "Raw/CKivFragmentJoiner.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "Analysers/KivContentCheck.h"

bool CKivFragmentJoiner::ReadList(const std::vector<uint64_t>& clusters, size_t nFrom, size_t nCount, uint8_t* p) {
    // Contiguous stretches at a time.
    for (size_t i = nFrom; i < nFrom + nCount;) {
        size_t j = i + 1;
        while (j < nFrom + nCount && clusters[j] == clusters[j - 1] + 1) ++j;
        if (!m_read(clusters[i], j - i, p + (i - nFrom) * m_nClusterBytes)) return false;
        i = j;
    }
    return true;
}

bool CKivFragmentJoiner::Taken(uint64_t c) const {
    auto it = m_taken.upper_bound(c);
    if (it == m_taken.begin()) return false;
    --it;
    return c - it->first < it->second;
}

CKivFragmentJoiner::Result CKivFragmentJoiner::Check(const std::vector<KivDataRun>& runs, uint64_t nSize,
                                                     bool bMayJoin, Budget* pBudget, uint64_t nReadTo) {
    Result res;
    const uint64_t K = m_nClusterBytes;
    const bool bOpen = nReadTo > nSize;
    const uint64_t nSpan = bOpen ? nReadTo : nSize;  // the bytes a candidate holds
    if (nSize == 0 || nSpan > kMaxFileBytes || K == 0) return res;
    const uint64_t nNeed = (nSpan + K - 1) / K;
    const uint64_t nFirst = (nSize + K - 1) / K;  // the file's clusters as found
    std::vector<uint64_t> cl;
    for (const KivDataRun& r : runs) {
        if (r.nStart == KIV_SPARSE_RUN) return res;
        for (uint64_t i = 0; i < r.nLength && cl.size() < nNeed; ++i) cl.push_back(r.nStart + i);
    }
    if (cl.size() < nNeed) return res;  // short of its size: damage of another kind

    std::vector<uint8_t> buf(nFirst * K);
    if (!ReadList(cl, 0, 1, buf.data())) return res;
    std::unique_ptr<IKivContentCheck> check = KivNewContentCheck(std::span<const uint8_t>(buf.data(), std::min<uint64_t>(K, nSize)));
    if (!check) return res;
    if (!ReadList(cl, 1, nFirst - 1, buf.data() + K)) return res;
    std::span<const uint8_t> file(buf.data(), nSize);
    std::vector<KivCheckPoint> points;
    KivCheckVerdict v = check->Check(file, nullptr, &points);
    if (v.kind == KivCheckVerdict::kUnchecked) return res;
    if (v.kind == KivCheckVerdict::kWhole) {
        res.kind = Result::kWhole;
        return res;
    }
    res.kind = Result::kBroken;
    res.nBreak = v.nBreak;
    if (!bMayJoin || (pBudget && pBudget->Spent())) return res;
    if (bOpen) {
        // A measured end may fall just where the first piece ends: the bytes after it place the
        // break, and tell a file that is whole but longer than measured.
        buf.resize(nNeed * K);
        if (!ReadList(cl, nFirst, nNeed - nFirst, buf.data() + nFirst * K)) return res;
        points.clear();
        KivCheckVerdict w = check->Check(std::span<const uint8_t>(buf.data(), nSpan), nullptr, &points);
        if (w.kind == KivCheckVerdict::kWhole && w.nEnd > nSize) {
            res.kind = Result::kWhole;
            res.nSize = w.nEnd;
            return res;
        }
        if (w.kind != KivCheckVerdict::kBroken) return res;
        v = w;
    }

    // The cut lies after the proven bytes and at or before the break; a cut at cluster k keeps
    // clusters [0, k) as the first piece.
    const uint64_t nCutMax = bOpen ? nNeed : nFirst;
    uint64_t kLo = std::max<uint64_t>(1, (v.nSure + K - 1) / K);
    uint64_t kHi = std::min<uint64_t>(v.nBreak / K, nCutMax - 1);
    if (v.nBreak >= nSpan && nCutMax > 1) kHi = nCutMax - 1;
    if (kHi < kLo) return res;
    // Where nothing pins the cut (unchecked media data), no join can be told from a wrong one.
    if (check->HasOpaqueData() && kHi != kLo) return res;
    if (kHi - kLo + 1 > kMaxCuts) kLo = kHi + 1 - kMaxCuts;

    // The clusters that may follow a first piece: the file's own from kLo on, then the free ones
    // after its last, as many as the gaps tried may need.
    const auto fileDeadline = std::chrono::steady_clock::now() + kFileTime;
    auto outOfTime = [&] {
        return std::chrono::steady_clock::now() >= fileDeadline || (pBudget && pBudget->Spent());
    };
    uint64_t nGapMax = std::min<uint64_t>(m_nMaxGap, kMaxGapBytes / K);
    std::vector<uint64_t> seq(cl.begin() + static_cast<std::ptrdiff_t>(kLo), cl.end());
    // A volume nearly full may have its few free clusters far apart: the walk is timed too.
    for (uint64_t c = cl.back() + 1; c < m_nClusters && seq.size() < (nNeed - kLo) + nGapMax; ++c) {
        if ((c & 0xFFFF) == 0 && outOfTime()) return res;
        if (m_free(c) && !Taken(c)) seq.push_back(c);
    }
    std::vector<uint8_t> win(seq.size() * K);
    size_t nOwn = nNeed - kLo;  // the window's leading clusters are the file's, already read
    std::memcpy(win.data(), buf.data() + kLo * K, nOwn * K);
    if (seq.size() > nOwn && !ReadList(seq, nOwn, seq.size() - nOwn, win.data() + nOwn * K)) return res;

    std::sort(points.begin(), points.end(), [](const KivCheckPoint& a, const KivCheckPoint& b) { return a.nOffset < b.nOffset; });
    std::vector<uint8_t> cand(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(nSpan));
    // The candidate's bytes before this are the file's first clusters as read; a try at a lower
    // cut overwrites some of them, and they are put back before a higher cut is checked.
    uint64_t nClean = nSpan;
    // Whether cutting at k and skipping g clusters of the sequence gives a whole file; *pEnd
    // gets its size.
    auto tryCut = [&](uint64_t k, uint64_t g, uint64_t* pEnd) {
        size_t at = (k - kLo) + g;  // first cluster of the rest in seq
        uint64_t nRest = nNeed - k;
        if (at >= seq.size()) return false;
        if (at + nRest > seq.size()) {
            // An open end may stop short of nReadTo (at the end of the medium).
            if (!bOpen) return false;
            nRest = seq.size() - at;
        }
        const uint64_t nLen = bOpen ? std::min<uint64_t>(nSpan, (k + nRest) * K) : nSize;
        if (nClean < k * K) std::memcpy(cand.data() + nClean, buf.data() + nClean, k * K - nClean);
        nClean = k * K;
        // Resume from the last point the first piece fixes.
        const KivCheckPoint* pFrom = nullptr;
        for (auto it = points.rbegin(); it != points.rend(); ++it)
            if (it->nOffset <= k * K) {
                pFrom = &*it;
                break;
            }
        auto whole = [&](const KivCheckVerdict& w) {
            if (w.kind != KivCheckVerdict::kWhole) return false;
            if (!bOpen) return *pEnd = nSize, true;
            // An end inside the first piece is no join.
            if (w.nEnd <= k * K || w.nEnd > nLen) return false;
            return *pEnd = w.nEnd, true;
        };
        if (bOpen && nLen - k * K > 2 * kProbeBytes) {
            std::memcpy(cand.data() + k * K, win.data() + at * K, kProbeBytes);
            const uint64_t nProbe = k * K + kProbeBytes;
            KivCheckVerdict w = check->Check(std::span<const uint8_t>(cand.data(), nProbe), pFrom, nullptr);
            if (whole(w)) return true;
            // A break in its first half is the rest's own, not where the probe stops.
            if (w.kind == KivCheckVerdict::kBroken && w.nBreak < nProbe - kProbeBytes / 2) return false;
        }
        std::memcpy(cand.data() + k * K, win.data() + at * K, nLen - k * K);
        return whole(check->Check(std::span<const uint8_t>(cand.data(), nLen), pFrom, nullptr));
    };
    // The gaps for a cut at k, nearest first: other deleted files lying right after the first
    // piece, whole, then every length.
    auto gapsFor = [&](uint64_t k) {
        std::vector<uint64_t> gaps;
        size_t at = k - kLo;
        uint64_t g = 0;
        for (int i = 0; i < 8 && at + g < seq.size(); ++i) {
            auto it = m_deleted.find(seq[at + g]);
            if (it == m_deleted.end() || it->second == 0) break;
            g += it->second;
            gaps.push_back(g);
        }
        return gaps;
    };
    uint64_t nFoundK = 0, nFoundG = 0, nFoundEnd = 0, nOtherEnd = 0;
    bool bFound = false;
    for (uint64_t k = kHi; k >= kLo && !bFound && !outOfTime(); --k)
        for (uint64_t g : gapsFor(k))
            if (tryCut(k, g, &nFoundEnd)) {
                bFound = true, nFoundK = k, nFoundG = g;
                break;
            }
    for (uint64_t g = 1; g <= nGapMax && !bFound && !outOfTime(); ++g)
        for (uint64_t k = kHi; k >= kLo; --k)
            if (tryCut(k, g, &nFoundEnd)) {
                bFound = true, nFoundK = k, nFoundG = g;
                break;
            }
    if (!bFound) return res;
    // Another cut with the same gap passing too means the check cannot place the cut.
    for (uint64_t k = kLo; k <= kHi; ++k)
        if (k != nFoundK && tryCut(k, nFoundG, &nOtherEnd)) return res;

    std::vector<uint64_t> out(cl.begin(), cl.begin() + static_cast<std::ptrdiff_t>(nFoundK));
    size_t at = (nFoundK - kLo) + nFoundG;
    uint64_t nRest = (nFoundEnd + K - 1) / K - nFoundK;
    out.insert(out.end(), seq.begin() + static_cast<std::ptrdiff_t>(at),
               seq.begin() + static_cast<std::ptrdiff_t>(at + nRest));
    for (uint64_t c : out) {
        if (!res.runs.empty() && res.runs.back().nStart + res.runs.back().nLength == c) ++res.runs.back().nLength;
        else res.runs.push_back({c, 1});
    }
    for (const KivDataRun& r : res.runs) m_taken[r.nStart] = r.nLength;
    res.nSize = nFoundEnd;
    res.kind = Result::kJoined;
    return res;
}
