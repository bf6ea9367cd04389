// Content checks of the formats whose bytes can be checked: real files hold together, the same
// files with other data from some byte on do not, and the break is placed between what the check
// proved and where it saw the damage, so that joining looks for the cut in the right place.
#include <gtest/gtest.h>

#include "Analysers/KivContentCheck.h"
#include "AnalyserTestKit.h"

using kit::Bytes;

namespace {

const char* const kSamples[] = {"a_exif.jpg",  "a_exif_lt.jpg", "a_jfif.jpg",     "a_progressive.jpg", "a_numbers.gz",
                                "c_members.gz", "b_image.png",    "b_plain.zip",
                                "b_notoffice.zip", "b_doc.docx", "b_book.xlsx",   "c_book.epub",       "c_letter.odt",
                                "b_doc.pdf",   "c_photo.heic",  "c_photo.avif"};

}  // namespace

TEST(ContentCheck, SamplesHoldTogetherAndBreakWhereOtherDataBegins) {
    for (const char* name : kSamples) {
        SCOPED_TRACE(name);
        Bytes b = kit::Sample(name);
        ASSERT_GT(b.size(), 256u);
        auto check = KivNewContentCheck(b);
        ASSERT_NE(check, nullptr);
        std::vector<KivCheckPoint> points;
        KivCheckVerdict v = check->Check(b, nullptr, &points);
        EXPECT_EQ(v.kind, KivCheckVerdict::kWhole) << "break at " << v.nBreak;
        // Every point it gave resumes to the same answer.
        for (const KivCheckPoint& p : points) EXPECT_EQ(check->Check(b, &p, nullptr).kind, KivCheckVerdict::kWhole);
        if (check->HasOpaqueData()) continue;  // media data is not checked: no break to find in it
        for (size_t cut : {b.size() / 3, b.size() / 2, b.size() * 5 / 6}) {
            SCOPED_TRACE(cut);
            Bytes x = b;
            Bytes junk = kit::Junk(x.size() - cut, static_cast<uint32_t>(cut));
            std::copy(junk.begin(), junk.end(), x.begin() + static_cast<std::ptrdiff_t>(cut));
            KivCheckVerdict w = KivCheckContent(x);
            ASSERT_EQ(w.kind, KivCheckVerdict::kBroken);
            EXPECT_LE(w.nSure, cut);
            EXPECT_GE(w.nBreak, cut);
        }
    }
}

// Random data where the rest of a JPEG should be is found within a few bytes of where it starts
// when restart markers or the decoded data say so; an unchecked format stays unchecked.
TEST(ContentCheck, JpegBreakIsFoundNearTheCut) {
    Bytes b = kit::Sample("a_jfif.jpg");
    size_t cut = b.size() / 2;
    Bytes x(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut));
    Bytes junk = kit::Junk(b.size() - cut, 3);
    x.insert(x.end(), junk.begin(), junk.end());
    KivCheckVerdict v = KivCheckContent(x);
    ASSERT_EQ(v.kind, KivCheckVerdict::kBroken);
    EXPECT_LT(v.nBreak - cut, 4096u);
    EXPECT_EQ(KivCheckContent(kit::Junk(4096, 1)).kind, KivCheckVerdict::kUnchecked);
    // Cut short: the end marker is missing.
    Bytes shortened(b.begin(), b.end() - 100);
    EXPECT_EQ(KivCheckContent(shortened).kind, KivCheckVerdict::kBroken);
}
