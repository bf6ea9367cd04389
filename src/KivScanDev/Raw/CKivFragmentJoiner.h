// Checks the content of a deleted file whose clusters were taken by guess (the free ones from its
// first on), and when it breaks after its first piece, looks for the rest in the free clusters
// after the break: a gap of other (deleted) data, then the rest of the file in one piece. A join
// is taken only when the content check passes it to the file's recorded size, and only when no
// other cut point passes with the same gap: a join the check cannot tell from a wrong one is none.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "KivScanResult.h"
#include "Model/CKivCompactRunList.h"

class CKivFragmentJoiner {
public:
    // Reads nCount clusters from cluster c (run-start numbering) into p; false when unreadable.
    using ReadFn = std::function<bool(uint64_t c, uint64_t nCount, uint8_t* p)>;
    // Whether cluster c may hold a deleted file's data (no live file holds it).
    using FreeFn = std::function<bool(uint64_t c)>;

    // What one volume's pass may spend, shared by its files.
    struct Budget {
        std::chrono::steady_clock::time_point deadline;
        explicit Budget(std::chrono::milliseconds total) : deadline(std::chrono::steady_clock::now() + total) {}
        bool Spent() const { return std::chrono::steady_clock::now() >= deadline; }
    };

    struct Result {
        enum Kind { kUnchecked, kWhole, kJoined, kBroken } kind = kUnchecked;
        uint64_t nBreak = 0;           // kBroken, kJoined: where the content broke as first read
        std::vector<KivDataRun> runs;  // kJoined: the file's clusters
        uint64_t nSize = 0;            // kJoined, kWhole (open end): the file's size as the check found it
    };

    // Files larger than this are not checked (they are read whole into memory).
    static constexpr uint64_t kMaxFileBytes = 64u << 20;
    // The most clusters a gap may span, and the cut points tried, for one file.
    static constexpr uint64_t kMaxGapClusters = 16384;
    static constexpr uint64_t kMaxGapBytes = 64u << 20;
    static constexpr uint32_t kMaxCuts = 64;
    static constexpr std::chrono::milliseconds kFileTime{2000};
    // An open-ended try is first checked on this many bytes after its cut: a rest that breaks
    // well inside them is passed over without copying the whole candidate.
    static constexpr uint64_t kProbeBytes = 256u << 10;

    CKivFragmentJoiner(ReadFn read, FreeFn isFree, uint64_t nClusters, uint64_t nClusterBytes)
        : m_read(std::move(read)), m_free(std::move(isFree)), m_nClusters(nClusters), m_nClusterBytes(nClusterBytes) {}

    // The extents of the other deleted files (first cluster -> cluster count): a gap that is
    // exactly one of them (or several in a row) is tried before any other.
    void SetDeletedExtents(std::map<uint64_t, uint64_t> extents) { m_deleted = std::move(extents); }

    // Checks the file that runs (clusters, run-start numbering) and nSize describe; with bMayJoin,
    // a broken one is joined when its rest is found. nReadTo > nSize: the file's size is only a
    // guess (a carved file's end as measured), the rest of a join may run to nReadTo bytes, and
    // the format's end marker, as the check finds it, gives the joined size; runs must then
    // cover nReadTo bytes.
    Result Check(const std::vector<KivDataRun>& runs, uint64_t nSize, bool bMayJoin, Budget* pBudget,
                 uint64_t nReadTo = 0);
    // The most clusters a gap may span for this joiner's files (kMaxGapClusters by default).
    void SetMaxGapClusters(uint64_t n) { m_nMaxGap = n; }

private:
    // Whether an earlier join took cluster c: the rest of one file is no other file's.
    bool Taken(uint64_t c) const;
    bool ReadList(const std::vector<uint64_t>& clusters, size_t nFrom, size_t nCount, uint8_t* p);

    ReadFn m_read;
    FreeFn m_free;
    uint64_t m_nClusters;
    uint64_t m_nClusterBytes;
    uint64_t m_nMaxGap = kMaxGapClusters;
    std::map<uint64_t, uint64_t> m_deleted;
    std::map<uint64_t, uint64_t> m_taken;  // joined files' runs: first cluster -> count
};

// Checks a deleted file of a volume's pass and records on it what was found: its joined runs and
// mark, or where its content breaks. The FAT and exFAT passes share it.
template <class Attr>
CKivFragmentJoiner::Result KivCheckDeletedAttr(CKivFragmentJoiner* pJoiner, Attr* pAttr, bool bMayJoin,
                                               CKivFragmentJoiner::Budget* pBudget) {
    std::unique_ptr<IDataRunList> list(pAttr->GetDataRunList());
    std::vector<KivDataRun> runs;
    for (const KivDataRun* r = list ? list->First() : nullptr; r; r = list->Next()) runs.push_back(*r);
    CKivFragmentJoiner::Result res = pJoiner->Check(runs, pAttr->GetSize(), bMayJoin, pBudget);
    if (res.kind == CKivFragmentJoiner::Result::kJoined) {
        CKivCompactRunList joined;
        for (const KivDataRun& r : res.runs) joined.Append(r.nStart, r.nLength);
        pAttr->SetRuns(std::move(joined));
        pAttr->SetRecordState(pAttr->GetRecordState() | KIV_REC_JOINED);
    } else if (res.kind == CKivFragmentJoiner::Result::kBroken) {
        pAttr->SetContentBreak(res.nBreak);
    }
    return res;
}
