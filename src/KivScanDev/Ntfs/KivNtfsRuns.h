// Data runs of a non-resident NTFS attribute, decoded from its mapping pairs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct KivNtfsRun {
    uint64_t nVcn;     // first virtual cluster of the run
    uint64_t nLcn;     // first logical cluster; KIV_NTFS_SPARSE for a hole
    uint64_t nLength;  // clusters
};
constexpr uint64_t KIV_NTFS_SPARSE = ~0ull;

// Appends the runs of one mapping-pairs array whose first run is at nStartVcn. Stops at the end
// marker, at a malformed pair, or at a run that would leave the volume's cluster range
// (nMaxClusters, 0 = unknown). False when the array was malformed before its end marker.
bool KivNtfsDecodeRuns(std::span<const uint8_t> pairs, uint64_t nStartVcn, uint64_t nMaxClusters,
                       std::vector<KivNtfsRun>* pOut);

// The logical cluster holding virtual cluster nVcn; false when it is not mapped or sparse.
bool KivNtfsVcnToLcn(const std::vector<KivNtfsRun>& runs, uint64_t nVcn, uint64_t* pLcn);

// Total clusters described (holes included).
uint64_t KivNtfsRunClusters(const std::vector<KivNtfsRun>& runs);
