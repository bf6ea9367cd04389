// Turns what the scan saw into candidate exFAT volumes: checks the volumes that boot sectors
// describe against the FATs, roots and folders found, and recovers the geometry of volumes whose
// boot regions are gone from their root directory and up-case table, or from their folders alone.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CKivExFatBootSector.h"
#include "KivExFatScanRecords.h"

struct KivExFatCandidate {
    KivExFatGeometry g;
    uint32_t nFlags = 0;
    uint64_t nConfirmed = 0;   // folders whose content lies where the geometry puts it
    uint16_t nVolumeFlags = 0;
    uint32_t nScale = 1;       // device sectors per volume sector
};

class CKivExFatGeometryFinder {
public:
    // At most this many volumes are taken from folder evidence alone.
    static constexpr size_t kMaxFolderVolumes = 16;

    CKivExFatGeometryFinder(const KivExFatScanRecords& rec, uint64_t nDevSectors, uint32_t nSectorSize);

    // Completes the evidence of the boot-sector candidates, adds those found from directories and
    // answers every candidate worth proposing.
    std::vector<KivExFatCandidate> Propose(std::vector<KivExFatCandidate> boot);

    // Folders whose content lies at a directory sector under the geometry; marks them explained.
    uint64_t CountConfirmed(const KivExFatGeometry& g, std::vector<char>* pExplained) const;

private:
    void CheckBootCandidate(KivExFatCandidate* p) const;
    // Roots that none of the known volumes has at its root cluster.
    void FromRoots(const std::vector<KivExFatCandidate>& known, std::vector<KivExFatCandidate>* pOut) const;
    void FromFolders(const std::vector<char>& explained, std::vector<KivExFatCandidate>* pOut) const;
    // Whether the FAT that starts at f holds the chains of the bitmap, the up-case table and the
    // root that the geometry implies; false also when its first sector does not reach them.
    bool FatAgrees(const KivExFatFatStart& f, const KivExFatRootRec& root, uint32_t nRootCluster,
                   uint64_t nClusterBytes) const;
    bool IsDirSector(uint64_t s) const { return m_dirs.count(s) != 0; }
    uint64_t HeapClusters(uint64_t nHeap, uint32_t nSpc) const;

    const KivExFatScanRecords& m_rec;
    uint64_t m_nDevSectors;
    uint32_t m_nSectorSize;
    std::unordered_set<uint64_t> m_dirs;
    std::unordered_map<uint64_t, size_t> m_roots;  // sector -> index into roots
    std::unordered_set<uint64_t> m_upcase;
    std::unordered_set<uint64_t> m_fats;
    std::unordered_set<uint64_t> m_sums;
};
