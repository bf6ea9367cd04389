#include "CKivExFatGeometryFinder.h"

#include <algorithm>
#include <set>

namespace {

constexpr uint64_t kMaxClusterBytes = 32u << 20;
constexpr uint64_t kRootSearchSectors = uint64_t(1) << 26;  // how far before a root its up-case may lie
constexpr size_t kFolderSample = 32;
constexpr size_t kPivots = 4;
constexpr size_t kStartSample = 20000;
constexpr size_t kMaxHypotheses = 4096;

// Up to n items spread evenly over v.
template <class T>
std::vector<T> Spread(const std::vector<T>& v, size_t n) {
    if (v.size() <= n) return v;
    std::vector<T> out;
    for (size_t i = 0; i < n; ++i) out.push_back(v[i * v.size() / n]);
    return out;
}

bool Disjoint(uint64_t a, uint64_t na, uint64_t b, uint64_t nb) { return a + na <= b || b + nb <= a; }

}  // namespace

CKivExFatGeometryFinder::CKivExFatGeometryFinder(const KivExFatScanRecords& rec, uint64_t nDevSectors,
                                                 uint32_t nSectorSize)
    : m_rec(rec), m_nDevSectors(nDevSectors), m_nSectorSize(nSectorSize ? nSectorSize : 512) {
    m_dirs.reserve(rec.dirSectors.size());
    for (const KivExFatDirSectorRec& d : rec.dirSectors) m_dirs.insert(d.nSector);
    for (size_t i = 0; i < rec.roots.size(); ++i) m_roots.emplace(rec.roots[i].nSector, i);
    m_upcase.insert(rec.upcaseStarts.begin(), rec.upcaseStarts.end());
    for (const KivExFatFatStart& f : rec.fatStarts) m_fats.insert(f.nSector);
    m_sums.insert(rec.checksumOk.begin(), rec.checksumOk.end());
}

uint64_t CKivExFatGeometryFinder::HeapClusters(uint64_t nHeap, uint32_t nSpc) const {
    if (nHeap >= m_nDevSectors || nSpc == 0) return 0;
    return std::min<uint64_t>((m_nDevSectors - nHeap) / nSpc, CKivExFatBootSector::kMaxClusters);
}

uint64_t CKivExFatGeometryFinder::CountConfirmed(const KivExFatGeometry& g, std::vector<char>* pExplained) const {
    if (g.nSecPerClus == 0) return 0;
    uint64_t nEnd = g.nHeapStart + uint64_t(g.nClusterCount) * g.nSecPerClus;
    auto it = std::lower_bound(m_rec.folders.begin(), m_rec.folders.end(), g.nHeapStart,
                               [](const KivExFatFolderRef& f, uint64_t s) { return f.nSector < s; });
    uint64_t n = 0;
    for (; it != m_rec.folders.end() && it->nSector < nEnd; ++it) {
        uint64_t c = it->nCluster;
        if (c < 2 || c - 2 >= g.nClusterCount) continue;
        if (!IsDirSector(g.nHeapStart + (c - 2) * g.nSecPerClus)) continue;
        ++n;
        if (pExplained) (*pExplained)[size_t(it - m_rec.folders.begin())] = 1;
    }
    return n;
}

void CKivExFatGeometryFinder::CheckBootCandidate(KivExFatCandidate* p) const {
    const KivExFatGeometry& g = p->g;
    uint64_t nRegion = uint64_t(CKivExFatBootSector::kRegionSectors) * p->nScale;
    if ((p->nFlags & KIV_EXFAT_BOOT_MAIN) && m_sums.count(g.nFirstSector)) p->nFlags |= KIV_EXFAT_SUM_MAIN;
    if ((p->nFlags & KIV_EXFAT_BOOT_BACKUP) && m_sums.count(g.nFirstSector + nRegion)) p->nFlags |= KIV_EXFAT_SUM_BACKUP;
    uint64_t nFat1 = g.nFirstSector + g.nFatOffset;
    if (m_fats.count(nFat1)) p->nFlags |= KIV_EXFAT_FAT1;
    if (g.nFatCount == 2 && m_fats.count(nFat1 + g.nFatSectors)) p->nFlags |= KIV_EXFAT_FAT2;
    if (g.nRootCluster < 2) return;
    auto it = m_roots.find(g.nHeapStart + uint64_t(g.nRootCluster - 2) * g.nSecPerClus);
    if (it == m_roots.end()) return;
    p->nFlags |= KIV_EXFAT_ROOT;
    const KivExFatRootRec& r = m_rec.roots[it->second];
    if (r.nUpcaseCluster >= 2 && m_upcase.count(g.nHeapStart + uint64_t(r.nUpcaseCluster - 2) * g.nSecPerClus))
        p->nFlags |= KIV_EXFAT_UPCASE;
}

bool CKivExFatGeometryFinder::FatAgrees(const KivExFatFatStart& f, const KivExFatRootRec& root, uint32_t nRootCluster,
                                        uint64_t nClusterBytes) const {
    auto chainIs = [&](uint64_t nFirst, uint64_t nBytes) {
        uint64_t n = nBytes / nClusterBytes + (nBytes % nClusterBytes != 0);
        if (n == 0 || nFirst + n > f.head.size()) return false;
        for (uint64_t i = 0; i < n; ++i) {
            uint32_t nWant = i + 1 < n ? static_cast<uint32_t>(nFirst + i + 1) : 0xFFFFFFFFu;
            if (f.head[nFirst + i] != nWant) return false;
        }
        return true;
    };
    return nRootCluster < f.head.size() && f.head[nRootCluster] != 0 &&
           chainIs(root.nBitmapCluster, root.nBitmapBytes) && chainIs(root.nUpcaseCluster, root.nUpcaseBytes);
}

void CKivExFatGeometryFinder::FromRoots(const std::vector<KivExFatCandidate>& known,
                                        std::vector<KivExFatCandidate>* pOut) const {
    const uint64_t nMaxSpc = std::max<uint64_t>(1, kMaxClusterBytes / m_nSectorSize);
    std::unordered_set<uint64_t> explained;  // roots that a boot sector's volume has where it says
    for (const KivExFatCandidate& c : known)
        if ((c.nFlags & KIV_EXFAT_ROOT) && c.g.nRootCluster >= 2)
            explained.insert(c.g.nHeapStart + uint64_t(c.g.nRootCluster - 2) * c.g.nSecPerClus);
    for (const KivExFatRootRec& r : m_rec.roots) {
        if (explained.count(r.nSector)) continue;
        uint64_t nLow = r.nSector > kRootSearchSectors ? r.nSector - kRootSearchSectors : 0;
        auto u = std::lower_bound(m_rec.upcaseStarts.begin(), m_rec.upcaseStarts.end(), nLow);
        std::vector<KivExFatCandidate> found;
        for (; u != m_rec.upcaseStarts.end() && *u < r.nSector; ++u) {
            for (uint64_t spc = 1; spc <= nMaxSpc; spc *= 2) {
                uint64_t nOff = uint64_t(r.nUpcaseCluster - 2) * spc;
                if (nOff > *u) break;
                uint64_t nHeap = *u - nOff;
                if ((r.nSector - nHeap) % spc) continue;
                uint64_t nRoot = (r.nSector - nHeap) / spc + 2;
                uint64_t k = spc * m_nSectorSize;
                uint64_t nB = r.nBitmapBytes / k + (r.nBitmapBytes % k != 0);
                uint64_t nU = r.nUpcaseBytes / k + (r.nUpcaseBytes % k != 0);
                // The bitmap, the table and the root each have clusters of their own.
                if (!Disjoint(r.nBitmapCluster, nB, r.nUpcaseCluster, nU) || !Disjoint(nRoot, 1, r.nBitmapCluster, nB) ||
                    !Disjoint(nRoot, 1, r.nUpcaseCluster, nU))
                    continue;
                uint64_t nClusters = std::min(HeapClusters(nHeap, static_cast<uint32_t>(spc)), r.nBitmapBytes * 8);
                uint64_t nNeed = std::max({r.nBitmapCluster + nB, r.nUpcaseCluster + nU, nRoot + 1}) - 2;
                if (nClusters < nNeed || nClusters == 0) continue;
                KivExFatCandidate c;
                c.g.nHeapStart = c.g.nFirstSector = nHeap;
                c.g.nSecPerClus = static_cast<uint32_t>(spc);
                c.g.nClusterCount = static_cast<uint32_t>(nClusters);
                c.g.nRootCluster = static_cast<uint32_t>(nRoot);
                c.nFlags = KIV_EXFAT_FROM_DIRS | KIV_EXFAT_ROOT | KIV_EXFAT_UPCASE;
                // The nearest FAT before the heap that holds this geometry's chains.
                uint64_t nFatNeed = ((nClusters + 2) * 4 + m_nSectorSize - 1) / m_nSectorSize;
                for (auto f = m_rec.fatStarts.rbegin(); f != m_rec.fatStarts.rend(); ++f) {
                    if (f->nSector >= nHeap) continue;
                    if (nHeap - f->nSector > 2 * nFatNeed + 65536) break;
                    if (!FatAgrees(*f, r, c.g.nRootCluster, k)) continue;
                    c.nFlags |= KIV_EXFAT_FAT1;
                    c.g.nFirstSector = f->nSector;
                    c.g.nFatSectors = nHeap - f->nSector;
                    break;
                }
                c.g.nSectorCount = nHeap - c.g.nFirstSector + nClusters * spc;
                found.push_back(c);
            }
        }
        // A FAT that agrees settles the cluster size; without one every size stays a candidate.
        bool bAnyFat = std::any_of(found.begin(), found.end(), [](const KivExFatCandidate& c) {
            return (c.nFlags & KIV_EXFAT_FAT1) != 0;
        });
        for (const KivExFatCandidate& c : found)
            if (!bAnyFat || (c.nFlags & KIV_EXFAT_FAT1)) pOut->push_back(c);
    }
}

void CKivExFatGeometryFinder::FromFolders(const std::vector<char>& explained, std::vector<KivExFatCandidate>* pOut) const {
    std::vector<KivExFatFolderRef> open;
    for (size_t i = 0; i < m_rec.folders.size(); ++i)
        if (!explained[i] && m_rec.folders[i].nCluster >= 2) open.push_back(m_rec.folders[i]);
    if (open.size() < 2) return;
    std::vector<KivExFatFolderRef> sample = Spread(open, kFolderSample);
    std::vector<uint64_t> starts;
    for (const KivExFatDirSectorRec& d : m_rec.dirSectors)
        if (d.nFlags & KivExFatDirSectorRec::kSetAtStart) starts.push_back(d.nSector);
    starts = Spread(starts, kStartSample);

    // A geometry is worth a look when the content of one folder (the pivot) and of at least one
    // other lands on directory sectors.
    const uint64_t nMaxSpc = std::max<uint64_t>(1, kMaxClusterBytes / m_nSectorSize);
    std::set<std::pair<uint64_t, uint64_t>> hyps;
    for (const KivExFatFolderRef& p : Spread(sample, kPivots)) {
        for (uint64_t spc = 1; spc <= nMaxSpc && hyps.size() < kMaxHypotheses; spc *= 2) {
            for (uint64_t d : starts) {
                uint64_t nOff = uint64_t(p.nCluster - 2) * spc;
                if (nOff > d) continue;
                uint64_t nHeap = d - nOff;
                if (nHeap > p.nSector || hyps.count({nHeap, spc})) continue;
                for (const KivExFatFolderRef& q : sample) {
                    if (q.nCluster == p.nCluster || q.nSector < nHeap) continue;
                    if (IsDirSector(nHeap + uint64_t(q.nCluster - 2) * spc)) {
                        hyps.insert({nHeap, spc});
                        break;
                    }
                }
                if (hyps.size() >= kMaxHypotheses) break;
            }
        }
    }

    std::vector<KivExFatCandidate> found;
    for (auto [nHeap, spc] : hyps) {
        KivExFatCandidate c;
        c.g.nHeapStart = c.g.nFirstSector = nHeap;
        c.g.nSecPerClus = static_cast<uint32_t>(spc);
        c.g.nClusterCount = static_cast<uint32_t>(HeapClusters(nHeap, static_cast<uint32_t>(spc)));
        c.g.nSectorCount = uint64_t(c.g.nClusterCount) * spc;
        c.nFlags = KIV_EXFAT_FROM_DIRS;
        c.nConfirmed = CountConfirmed(c.g, nullptr);
        if (c.nConfirmed >= 2 && c.g.nClusterCount) found.push_back(c);
    }
    std::stable_sort(found.begin(), found.end(), [](const KivExFatCandidate& a, const KivExFatCandidate& b) {
        return a.nConfirmed > b.nConfirmed;
    });
    // The best first; a weaker one is kept only for folders that no better one explains (another
    // volume), not as a shifted copy of the same.
    std::vector<char> taken = explained;
    for (const KivExFatCandidate& c : found) {
        if (pOut->size() >= kMaxFolderVolumes) break;
        std::vector<char> mine(m_rec.folders.size(), 0);
        CountConfirmed(c.g, &mine);
        size_t nNew = 0;
        for (size_t i = 0; i < mine.size(); ++i) nNew += mine[i] && !taken[i];
        if (nNew < 2) continue;
        for (size_t i = 0; i < mine.size(); ++i) taken[i] |= mine[i];
        pOut->push_back(c);
    }
}

std::vector<KivExFatCandidate> CKivExFatGeometryFinder::Propose(std::vector<KivExFatCandidate> boot) {
    std::vector<char> explained(m_rec.folders.size(), 0);
    std::vector<KivExFatCandidate> out;
    for (KivExFatCandidate& c : boot) {
        CheckBootCandidate(&c);
        c.nConfirmed = CountConfirmed(c.g, &explained);
        // Folders alone do not confirm a boot sector that might be the other copy of a volume
        // starting one region earlier or later: those land on its real folders too, shifted.
        bool bBacked = c.nFlags & (KIV_EXFAT_FAT1 | KIV_EXFAT_FAT2 | KIV_EXFAT_ROOT);
        bool bBothCopies = (c.nFlags & KIV_EXFAT_BOOT_MAIN) && (c.nFlags & KIV_EXFAT_BOOT_BACKUP);
        if (bBacked || (c.nConfirmed && bBothCopies)) out.push_back(c);
    }
    auto known = [&out](const KivExFatGeometry& g) {
        return std::any_of(out.begin(), out.end(), [&g](const KivExFatCandidate& c) {
            return c.g.nHeapStart == g.nHeapStart && c.g.nSecPerClus == g.nSecPerClus;
        });
    };
    std::vector<KivExFatCandidate> dirs;
    FromRoots(out, &dirs);
    for (KivExFatCandidate& c : dirs) {
        if (known(c.g)) continue;
        c.nConfirmed = CountConfirmed(c.g, &explained);
        out.push_back(c);
    }
    dirs.clear();
    FromFolders(explained, &dirs);
    for (KivExFatCandidate& c : dirs) {
        if (known(c.g)) continue;
        CountConfirmed(c.g, &explained);
        out.push_back(c);
    }

    // A volume known only from its directories has no known end: it reaches up to the next volume
    // that has a boot sector, so that it never hides that one from the selection.
    std::set<uint64_t> bootStarts;
    for (const KivExFatCandidate& c : out)
        if (!(c.nFlags & KIV_EXFAT_FROM_DIRS)) bootStarts.insert(c.g.nFirstSector);
    for (KivExFatCandidate& c : out) {
        if (!(c.nFlags & KIV_EXFAT_FROM_DIRS)) continue;
        auto next = bootStarts.upper_bound(c.g.nHeapStart);
        uint64_t nEnd = c.g.nFirstSector + c.g.nSectorCount;
        if (next == bootStarts.end() || *next >= nEnd) continue;
        c.g.nClusterCount = static_cast<uint32_t>(std::min<uint64_t>(c.g.nClusterCount, (*next - c.g.nHeapStart) / c.g.nSecPerClus));
        c.g.nSectorCount = c.g.nHeapStart - c.g.nFirstSector + uint64_t(c.g.nClusterCount) * c.g.nSecPerClus;
    }
    std::erase_if(out, [](const KivExFatCandidate& c) { return c.g.nClusterCount == 0; });
    return out;
}
