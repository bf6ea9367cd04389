#include "Ntfs/CKivNtfsCandidateMap.h"

void CKivNtfsCandidateMap::AddBootSector(uint64_t nSector, uint64_t nDevSectors, const KivNtfsCandidate& proto,
                                         uint64_t nTotal) {
    uint32_t spc = proto.nSecPerClus;
    auto make = [&](uint64_t start, uint32_t mark) -> std::unique_ptr<KivNtfsCandidate> {
        if (start >= nDevSectors) return nullptr;
        uint64_t usable = std::min(nTotal, nDevSectors - start);
        if (usable < 8) return nullptr;
        auto c = std::make_unique<KivNtfsCandidate>(proto);
        c->nStart = start;
        c->nClusterCount = usable / spc;
        c->nVolumeClusters = nTotal / spc;
        // The volume's own count, as the device list gives the partition: the sectors past its
        // last whole cluster belong to it too. Geometry compares clusters.
        c->nSectorCount = usable;
        c->nMarks = mark;
        return c;
    };

    // The copy in a volume's last sector puts the volume T sectors before it.
    if (nSector >= nTotal) {
        if (auto backup = make(nSector - nTotal, KIV_NTFS_MARK_BACKUP)) {
            auto range = m_items.equal_range(backup->nStart);
            bool confirmed = false;
            for (auto it = range.first; it != range.second; ++it) {
                KivNtfsCandidate& e = *it->second;
                if ((e.nClusterCount == backup->nClusterCount && e.nMftCluster == backup->nMftCluster) ||
                    (e.nMarks & KIV_NTFS_MARK_PRIMARY)) {
                    e.nMarks |= KIV_NTFS_MARK_BACKED_UP;
                    if (!e.nVolumeClusters) e.nVolumeClusters = backup->nVolumeClusters;
                    confirmed = true;
                }
            }
            // The copy of a volume's boot sector confirms that volume; it starts none of its own.
            if (confirmed) return;
            if (!confirmed) {
                for (auto it = range.first; it != range.second; ++it) {
                    if (it->second->nSectorCount == 0) {
                        it->second->nSectorCount = backup->nSectorCount;
                        it->second->nClusterCount = backup->nClusterCount;
                    }
                }
                AddUnique(std::move(backup));
            }
        }
    }
    if (auto primary = make(nSector, KIV_NTFS_MARK_PRIMARY)) {
        auto range = m_items.equal_range(primary->nStart);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second->SameGeometry(*primary)) {
                it->second->nMarks |= KIV_NTFS_MARK_PRIMARY;
                // A backup copy seen first is confirmed by its primary.
                if (it->second->nMarks & KIV_NTFS_MARK_BACKUP) it->second->nMarks |= KIV_NTFS_MARK_BACKED_UP;
                return;
            }
        }
        AddUnique(std::move(primary));
    }
}

void CKivNtfsCandidateMap::AddByCluster(uint64_t nSector, uint64_t nCluster, uint32_t nSecPerClus,
                                        uint64_t nDevSectors, uint32_t nMark, uint64_t nMftCluster) {
    for (uint32_t k = 1; k <= 128; k <<= 1) {
        if (nSecPerClus && k != nSecPerClus) continue;
        uint64_t off;
        if (__builtin_mul_overflow(uint64_t(k), nCluster, &off) || off > nSector || off < 8) continue;
        uint64_t start = nSector - off;
        if (start >= nDevSectors) continue;
        auto c = std::make_unique<KivNtfsCandidate>();
        c->nStart = start;
        c->nSecPerClus = k;
        c->nClusterCount = (nDevSectors - start) / k;
        c->nSectorCount = c->nClusterCount * k;
        c->nMarks = nMark;
        c->nMftCluster = nMftCluster;
        AddUnique(std::move(c));
    }
}

void CKivNtfsCandidateMap::AddUnique(std::unique_ptr<KivNtfsCandidate> c) {
    auto range = m_items.equal_range(c->nStart);
    for (auto it = range.first; it != range.second; ++it) {
        KivNtfsCandidate& e = *it->second;
        if (e.nSecPerClus == c->nSecPerClus && (e.nClusterCount == c->nClusterCount || c->nMarks >= KIV_NTFS_MARK_RECORDS)) {
            // The same partition seen another way: keep one, remember every source.
            e.nMarks |= c->nMarks;
            if (e.nMftCluster == ~0ull) e.nMftCluster = c->nMftCluster;
            return;
        }
    }
    if (m_items.size() >= kMaxCandidates) return;
    m_items.emplace(c->nStart, std::move(c));
}
