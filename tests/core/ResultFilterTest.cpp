// The result filter's test of one file.
#include <gtest/gtest.h>

#include "CKivResultFilter.h"
#include "KivFakeResultTree.h"

namespace {

struct File {
    KivFakeNode* p;
    File(const std::string& name, uint64_t size, uint64_t ctime = 0, uint64_t mtime = 0)
        : p(KivFakeNode::File(name, size)) {
        p->attr.ctime = ctime;
        p->attr.mtime = mtime;
    }
    ~File() { p->Release(); }
};

}  // namespace

TEST(ResultFilterTest, KeyIsASubstringWithoutRegardToCase) {
    File f("Holiday Photo.JPG", 100);
    CKivResultFilter r;
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_TRUE(r.Accepts(f.p));
    r.SetKey("photo.j");
    EXPECT_TRUE(r.Accepts(f.p));
    r.SetKey("photos");
    EXPECT_FALSE(r.Accepts(f.p));
    File unnamed("", 100);
    EXPECT_TRUE(r.Accepts(unnamed.p));  // no name: the key is not tested
    f.p->m_bNoAttr = true;
    EXPECT_TRUE(r.Accepts(f.p));
}

TEST(ResultFilterTest, SizeLimitsAreStrict) {
    File small("a", 1023), exact("b", 1024), big("c", 1025);
    CKivResultFilter r;
    ASSERT_TRUE(r.SetSizeTest(CKivResultFilter::SIZE_MORE_THAN, 1, CKivResultFilter::UNIT_KB));
    EXPECT_FALSE(r.Accepts(small.p));
    EXPECT_FALSE(r.Accepts(exact.p));
    EXPECT_TRUE(r.Accepts(big.p));
    ASSERT_TRUE(r.SetSizeTest(CKivResultFilter::SIZE_LESS_THAN, 1, CKivResultFilter::UNIT_KB));
    EXPECT_TRUE(r.Accepts(small.p));
    EXPECT_FALSE(r.Accepts(exact.p));
    EXPECT_FALSE(r.Accepts(big.p));
    EXPECT_FALSE(r.SetSizeTest(CKivResultFilter::SIZE_MORE_THAN, UINT64_MAX / 1024, CKivResultFilter::UNIT_MB));
    // Both limits at once (the command line's form).
    CKivResultFilter both;
    both.SetLargerThan(1023);
    both.SetSmallerThan(1025);
    EXPECT_FALSE(both.Accepts(small.p));
    EXPECT_TRUE(both.Accepts(exact.p));
    EXPECT_FALSE(both.Accepts(big.p));
    EXPECT_EQ(CKivResultFilter::UnitBytes(CKivResultFilter::UNIT_GB), 1073741824u);
}

TEST(ResultFilterTest, DateRangesIncludeTheirEnds) {
    File f("a", 1, /*ctime*/ 100, /*mtime*/ 200);
    CKivResultFilter r;
    r.SetDateTest(CKivResultFilter::DATE_CREATE, 100, 150);
    EXPECT_TRUE(r.Accepts(f.p));
    r.SetDateTest(CKivResultFilter::DATE_MODIFY, 150, 199);
    EXPECT_FALSE(r.Accepts(f.p));  // both ranges must pass
    r.SetDateTest(CKivResultFilter::DATE_MODIFY, 200, 300);
    EXPECT_TRUE(r.Accepts(f.p));
    r.SetKey("b");
    EXPECT_FALSE(r.Accepts(f.p));  // and the key
    // A carved file has no times: even a range open at its start does not take it.
    File carved("c", 1);
    CKivResultFilter before;
    before.SetDateTest(CKivResultFilter::DATE_MODIFY, 0, 1000);
    EXPECT_FALSE(before.Accepts(carved.p));
    r.ClearTests();
    r.SetKey("");
    EXPECT_TRUE(r.IsEmpty());
    f.p->m_bNoAttr = true;
    r.SetLargerThan(0);
    EXPECT_FALSE(r.Accepts(f.p));  // no attribute cannot pass a size test
}
