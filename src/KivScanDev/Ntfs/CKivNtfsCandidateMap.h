// NTFS partitions proposed during the scan, keyed by their first sector, with the evidence that
// supports each.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// Kind marks: where a candidate came from and what confirmed it.
enum : uint32_t {
    KIV_NTFS_MARK_PRIMARY = 1,     // boot sector at its first sector
    KIV_NTFS_MARK_BACKUP = 2,      // boot sector copy at its last sector
    KIV_NTFS_MARK_BACKED_UP = 4,   // both copies agree
    KIV_NTFS_MARK_MFT_FOUND = 8,   // the $MFT record lies where the boot sector says
    KIV_NTFS_MARK_MIRR_FOUND = 16, // so does the $MFTMirr copy
    KIV_NTFS_MARK_RECORDS = 32,    // placed through the $MFT data runs of a record found
    KIV_NTFS_MARK_LOG_AT = 64,     // placed through a restart page (log starts at the page)
    KIV_NTFS_MARK_LOG_PAIR = 128,  // placed through the second of the log's two restart pages
};

struct KivNtfsCandidate {
    uint64_t nStart = 0;          // first sector = data start
    uint64_t nSectorCount = 0;    // 0 = not known yet
    uint64_t nClusterCount = 0;   // on the device
    uint64_t nVolumeClusters = 0; // as the boot sector states; more than nClusterCount when cut
    uint32_t nSecPerClus = 0;
    uint64_t nMftCluster = ~0ull;
    uint64_t nMirrCluster = ~0ull;
    uint64_t nSerial = 0;
    uint32_t nRecordBytes = 0;    // from the boot sector; 0 = the default rule
    uint32_t nMarks = 0;
    uint64_t nEvidenceA = 0, nEvidenceB = 0, nEvidenceC = 0;
    uint64_t aCounters[3] = {0, 0, 0};  // agreeing records, records inside, restart pages inside

    bool SameGeometry(const KivNtfsCandidate& o) const {
        return nStart == o.nStart && nSecPerClus == o.nSecPerClus && nClusterCount == o.nClusterCount &&
               nMftCluster == o.nMftCluster;
    }
};

class CKivNtfsCandidateMap {
public:
    // Boot sector at sector nSector stating nTotal sectors: the primary and backup hypotheses.
    void AddBootSector(uint64_t nSector, uint64_t nDevSectors, const KivNtfsCandidate& proto, uint64_t nTotal);
    // A structure at absolute sector nSector lies at cluster nCluster of its partition; nSecPerClus 0
    // means unknown (every power of two up to 128 is tried).
    void AddByCluster(uint64_t nSector, uint64_t nCluster, uint32_t nSecPerClus, uint64_t nDevSectors,
                      uint32_t nMark, uint64_t nMftCluster = ~0ull);

    std::multimap<uint64_t, std::unique_ptr<KivNtfsCandidate>>& Items() { return m_items; }
    size_t Size() const { return m_items.size(); }
    void Clear() { m_items.clear(); }

    // Caps the number of cluster-arithmetic candidates a hostile disk can make.
    static constexpr size_t kMaxCandidates = 200000;

private:
    void AddUnique(std::unique_ptr<KivNtfsCandidate> c);
    std::multimap<uint64_t, std::unique_ptr<KivNtfsCandidate>> m_items;
};
