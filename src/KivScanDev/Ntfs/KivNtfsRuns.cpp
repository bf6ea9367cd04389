#include "Ntfs/KivNtfsRuns.h"

#include <algorithm>

#include "KivByteReader.h"

bool KivNtfsDecodeRuns(std::span<const uint8_t> pairs, uint64_t nStartVcn, uint64_t nMaxClusters,
                       std::vector<KivNtfsRun>* pOut) {
    KivByteReader r(pairs);
    size_t off = 0;
    int64_t lcn = 0;
    uint64_t vcn = nStartVcn;
    while (r.Has(off, 1)) {
        uint8_t hdr = r.U8At(off);
        if (hdr == 0) return true;
        size_t nLen = hdr & 0x0F, nOff = hdr >> 4;
        if (nLen == 0 || nLen > 8 || nOff > 8 || !r.Has(off + 1, nLen + nOff)) return false;
        uint64_t len = r.UIntAt(off + 1, nLen);
        if (len == 0 || (nMaxClusters && len > nMaxClusters)) return false;
        KivNtfsRun run{vcn, KIV_NTFS_SPARSE, len};
        if (nOff) {
            int64_t delta = r.SIntAt(off + 1 + nLen, nOff);
            if (__builtin_add_overflow(lcn, delta, &lcn) || lcn < 0) return false;
            if (nMaxClusters && (uint64_t(lcn) >= nMaxClusters || len > nMaxClusters - uint64_t(lcn))) return false;
            run.nLcn = uint64_t(lcn);
        }
        if (__builtin_add_overflow(vcn, len, &vcn)) return false;
        pOut->push_back(run);
        off += 1 + nLen + nOff;
    }
    return false;
}

bool KivNtfsVcnToLcn(const std::vector<KivNtfsRun>& runs, uint64_t nVcn, uint64_t* pLcn) {
    auto it = std::upper_bound(runs.begin(), runs.end(), nVcn,
                               [](uint64_t v, const KivNtfsRun& r) { return v < r.nVcn; });
    if (it == runs.begin()) return false;
    --it;
    if (nVcn - it->nVcn >= it->nLength || it->nLcn == KIV_NTFS_SPARSE) return false;
    *pLcn = it->nLcn + (nVcn - it->nVcn);
    return true;
}

uint64_t KivNtfsRunClusters(const std::vector<KivNtfsRun>& runs) {
    uint64_t n = 0;
    for (const auto& r : runs)
        if (__builtin_add_overflow(n, r.nLength, &n)) return ~0ull;  // saturates on hostile lengths
    return n;
}
