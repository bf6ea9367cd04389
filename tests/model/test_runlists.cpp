// Compact run lists (encoding, decoding of hostile strings, storage) and the run-list kinds.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "Model/CFATDataRunList.h"
#include "Model/CKivCompactRunList.h"
#include "Model/CKivMemStream.h"
#include "Model/CRAWDataRunList.h"
#include "Model/KivStreamLE.h"

namespace {

std::vector<KivDataRun> Runs(const CKivCompactRunList& c) {
    std::vector<KivDataRun> r;
    EXPECT_TRUE(c.Decode(&r));
    return r;
}

std::vector<KivDataRun> Collect(IDataRunList* p) {
    std::vector<KivDataRun> r;
    for (const KivDataRun* q = p->First(); q; q = p->Next()) r.push_back(*q);
    return r;
}

bool Same(const std::vector<KivDataRun>& a, const std::vector<KivDataRun>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].nStart != b[i].nStart || a[i].nLength != b[i].nLength) return false;
    return true;
}

}  // namespace

TEST(CompactRuns, AppendWritesShortestMappingPairs) {
    CKivCompactRunList c;
    c.Append(100, 5);
    c.Append(99, 1);             // delta -1: one byte 0xFF
    c.Append(KIV_SPARSE_RUN, 3);  // no delta bytes
    c.Append(200, 2);            // counts from 99, the run before the sparse one
    c.Append(200, 0);            // nothing
    std::vector<uint8_t> want = {0x11, 5, 100, 0x11, 1, 0xFF, 0x01, 3, 0x11, 2, 101, 0};
    EXPECT_EQ(std::vector<uint8_t>(c.Bytes().begin(), c.Bytes().end()), want);
    EXPECT_TRUE(Same(Runs(c), {{100, 5}, {99, 1}, {KIV_SPARSE_RUN, 3}, {200, 2}}));
}

TEST(CompactRuns, WideValuesAndSignBoundaries) {
    const std::vector<KivDataRun> runs = {
        {0, 1}, {127, 1}, {128, 0x100}, {0, 0xFFFFFFFFFull}, {1ull << 40, 3}, {(1ull << 40) - 0x8000, 1},
        {0x7FFFFFFFFFFFFFFFull, 1}, {5, 0xFFFFFFFFFFFFFFFFull}};
    CKivCompactRunList c;
    for (const auto& r : runs) c.Append(r.nStart, r.nLength);
    EXPECT_TRUE(Same(Runs(c), runs));
    EXPECT_EQ(c.Bytes()[3], 0x11);  // 128 - 127 = 1 fits one byte
    EXPECT_EQ(CKivCompactRunList::Measure(c.Bytes()), c.Bytes().size());
}

TEST(CompactRuns, DecodesOnDiskStringsWithNegativeDeltaAndSparse) {
    // 0x21: length 1 byte, delta 2 bytes. Start 0x1000, then -1 (FF), sparse, then +0x10.
    const uint8_t bytes[] = {0x21, 0x08, 0x00, 0x10, 0x11, 0x02, 0xFF, 0x01, 0x04, 0x11, 0x01, 0x10, 0x00};
    std::vector<KivDataRun> r;
    ASSERT_TRUE(CKivCompactRunList::Decode(bytes, &r));
    EXPECT_TRUE(Same(r, {{0x1000, 8}, {0xFFF, 2}, {KIV_SPARSE_RUN, 4}, {0x100F, 1}}));
    EXPECT_EQ(CKivCompactRunList::Measure(bytes), sizeof(bytes));
}

TEST(CompactRuns, HostileStringsNeverReadPastTheirEnd) {
    struct Case {
        std::vector<uint8_t> bytes;
        size_t nRuns;  // well-formed runs before the fault
    };
    const Case cases[] = {
        {{}, 0},                             // nothing at all
        {{0x11, 0x05}, 0},                   // delta byte missing
        {{0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}, 0},  // 9-byte length
        {{0x90, 0}, 0},                      // 9-byte delta, no length
        {{0x11, 5, 1, 0x21, 1}, 1},          // second run cut off
        {{0x11, 5, 1}, 1},                   // no terminating 0
    };
    for (const Case& c : cases) {
        std::vector<KivDataRun> r;
        EXPECT_FALSE(CKivCompactRunList::Decode(c.bytes, &r));
        EXPECT_EQ(r.size(), c.nRuns);
        EXPECT_EQ(CKivCompactRunList::Measure(c.bytes), 0u);
        CKivCompactRunList l;
        EXPECT_FALSE(l.SetBytes(c.bytes));
        EXPECT_EQ(l.Bytes().back(), 0);  // the kept prefix is terminated
        std::vector<KivDataRun> kept;
        EXPECT_TRUE(l.Decode(&kept));
        EXPECT_EQ(kept.size(), c.nRuns);
    }
    // Random strings, decoded from heap copies of exactly their length (a sanitizer build turns any
    // over-read into a failure).
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        size_t n = rng() % 40;
        auto p = std::make_unique<uint8_t[]>(n + 1);
        for (size_t k = 0; k < n; ++k) p[k] = static_cast<uint8_t>(rng());
        std::vector<KivDataRun> r;
        CKivCompactRunList::Decode({p.get(), n}, &r);
        EXPECT_LE(r.size() * 2, n);
    }
}

TEST(CompactRuns, SetBytesStopsAtTheTerminatorAndAppendContinues) {
    const uint8_t bytes[] = {0x11, 4, 50, 0x00, 0xEE, 0xEE};
    CKivCompactRunList c;
    ASSERT_TRUE(c.SetBytes(bytes));
    EXPECT_EQ(c.Bytes().size(), 4u);
    c.Append(40, 1);  // delta from the last decoded start (50)
    EXPECT_TRUE(Same(Runs(c), {{50, 4}, {40, 1}}));
    EXPECT_EQ(c.Bytes()[5], 0xF6);
}

TEST(CompactRuns, BuildRunListKinds) {
    CKivCompactRunList empty;
    std::unique_ptr<IDataRunList> a(empty.BuildRunList());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->GetKind(), KIV_RUNS_NTFS);
    EXPECT_EQ(a->GetRunCount(), 0u);
    EXPECT_EQ(a->First(), nullptr);

    CKivCompactRunList res;
    res.SetResidentValue(0x18);
    std::unique_ptr<IDataRunList> none(res.BuildRunList());
    EXPECT_EQ(none, nullptr);  // resident without a run
    res.Append(777, 300);
    res.Append(900, 1);
    std::unique_ptr<IDataRunList> b(res.BuildRunList());
    ASSERT_TRUE(b);
    EXPECT_EQ(b->GetKind(), KIV_RUNS_NTFS_RESIDENT);
    EXPECT_EQ(b->IsResident(), 1);
    EXPECT_EQ(b->GetResidentValue(), 0x18);
    EXPECT_TRUE(Same(Collect(b.get()), {{777, 300}}));

    CKivCompactRunList plain;
    plain.Append(10, 2);
    plain.Append(KIV_SPARSE_RUN, 6);
    std::unique_ptr<IDataRunList> c(plain.BuildRunList());
    EXPECT_EQ(c->IsResident(), 0);
    EXPECT_EQ(c->GetResidentValue(), 0);
    EXPECT_TRUE(Same(Collect(c.get()), {{10, 2}, {KIV_SPARSE_RUN, 6}}));
}

TEST(CompactRuns, StoredFormRoundTripsAndRejectsCorruption) {
    CKivCompactRunList c;
    c.Append(3, 9);
    c.Append(1, 1);
    c.SetResidentValue(0x40);
    CKivMemStream s;
    ASSERT_TRUE(c.Save(&s));
    ASSERT_EQ(s.Size(), 4 + c.Bytes().size() + 2);
    EXPECT_EQ(s.Data()[0], c.Bytes().size());
    CKivCompactRunList d;
    ASSERT_TRUE(d.Load(&s));
    EXPECT_TRUE(c == d);

    CKivMemStream huge;  // a count far beyond the bytes that follow
    WriteLE<uint32_t>(&huge, 0x7FFFFFFF);
    huge.Write("\x11\x01", 2);
    EXPECT_FALSE(d.Load(&huge));
    CKivMemStream cut;  // count says 3, string is malformed inside
    WriteLE<uint32_t>(&cut, 3);
    cut.Write("\x31\x01\x00", 3);
    WriteLE<uint16_t>(&cut, 0);
    EXPECT_FALSE(d.Load(&cut));
    EXPECT_FALSE(d.HasRuns());
}

TEST(RunListKinds, FatMergesContiguousRunsOnly) {
    CFATDataRunList f;
    f.AddRun(10, 2);
    f.AddRun(12, 3);
    f.AddRun(20, 1);
    f.AddRun(19, 1);  // backwards: not contiguous
    EXPECT_EQ(f.GetKind(), KIV_RUNS_FAT);
    EXPECT_TRUE(Same(Collect(&f), {{10, 5}, {20, 1}, {19, 1}}));
    EXPECT_EQ(f.Next(), nullptr);  // stays at the end
    EXPECT_EQ(f.Next(), nullptr);
    CFATDataRunList w;
    w.AddRun(~0ull - 1, 1);
    w.AddRun(~0ull, 1);           // contiguous at the top of the range
    w.AddRun(0, 1);               // the end wrapped: never merged
    EXPECT_EQ(w.GetRunCount(), 2u);
}

TEST(RunListKinds, SaveLoadAppendsAndSurvivesLyingCounts) {
    CRAWDataRunList r;
    r.AddRun(5, 8);
    r.AddRun(13, 8);  // the RAW kind does not merge
    CKivMemStream s;
    ASSERT_TRUE(r.Save(&s));
    EXPECT_EQ(s.Size(), 4u + 32u);
    CFATDataRunList f;
    f.AddRun(1, 4);
    ASSERT_TRUE(f.Load(&s));
    EXPECT_TRUE(Same(Collect(&f), {{1, 20}}));  // appended through the merging add

    CKivMemStream lie;
    WriteLE<uint32_t>(&lie, 0xFFFFFFFF);
    WriteLE<uint64_t>(&lie, 1);
    WriteLE<uint64_t>(&lie, 2);
    CRAWDataRunList g;
    EXPECT_FALSE(g.Load(&lie));
    EXPECT_EQ(g.GetRunCount(), 1u);
}
