// The ddrescue mapfile on its own: what is refused, what is unreadable, what is written back.
#include <gtest/gtest.h>

#include "CKivDdrescueMap.h"

namespace {

const char* kMap =
    "# Mapfile. Created by GNU ddrescue version 1.27\n"
    "# current_pos  current_status  current_pass\n"
    "0x00100C00     +               1\n"
    "#      pos        size  status\n"
    "0x00000000  0x00100000  +\n"
    "0x00100000  0x00001000  -\n"
    "0x00101000  0x000E7400  +\n"
    "0x001E8400  0x00000300  *\n"
    "0x001E8700  0x00217900  +\n";

std::string Body(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        size_t e = text.find('\n', i);
        std::string line = text.substr(i, e - i);
        if (!line.empty() && line[0] != '#') out += line + "\n";
        i = e == std::string::npos ? text.size() : e + 1;
    }
    return out;
}

TEST(DdrescueMap, ReadsBackWhatItWrites) {
    CKivDdrescueMap m;
    std::string why;
    ASSERT_TRUE(m.Parse(kMap, &why)) << why;
    ASSERT_EQ(m.Blocks().size(), 5u);
    EXPECT_EQ(m.End(), 0x400000u);
    EXPECT_EQ(Body(m.Format()), Body(kMap));
    // Not rescued, in sectors, rounded outward: 0x1E8400..0x1E8700 is sectors 3906 to 3908.
    KivBadRanges r = m.NotRescued(512, 8192);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].nFirst, 2048u);
    EXPECT_EQ(r[0].nEnd, 2056u);
    EXPECT_EQ(r[1].nFirst, 3906u);
    EXPECT_EQ(r[1].nEnd, 3908u);
    EXPECT_EQ(m.NotRescued(4096, 8192)[1].nEnd, 489u);  // 0x1E8700 / 4096 rounded up
    EXPECT_EQ(m.NotRescued(512, 3000).size(), 1u);       // cut at the device end

    // New damage only where the map says rescued; the rest keeps its status.
    m.MarkWhereRescued(0x000FFE00, 0x00100200, '-');
    m.MarkWhereRescued(0x001E8000, 0x001E8800, '?');
    std::string text = m.Format();
    EXPECT_NE(text.find("0x000FFE00  0x00001200  -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("0x001E8000  0x00000400  ?\n0x001E8400  0x00000300  *\n0x001E8700  0x00000100  ?\n"),
              std::string::npos)
        << text;
    CKivDdrescueMap again;
    ASSERT_TRUE(again.Parse(text, &why)) << why;
    // Past the end the map grows.
    again.MarkWhereRescued(0x00500000, 0x00500200, '-');
    EXPECT_EQ(again.End(), 0x00500200u);
    EXPECT_EQ(again.Blocks()[again.Blocks().size() - 2].cStatus, '+');
}

TEST(DdrescueMap, RefusesWhatIsNotAMapfile) {
    CKivDdrescueMap m;
    std::string why;
    EXPECT_FALSE(m.Parse("", &why));
    EXPECT_FALSE(m.Parse("hello world\n", &why));
    EXPECT_NE(why.find("line 1"), std::string::npos);
    const char* gap = "0x0 + 1\n0x0 0x200 +\n0x400 0x200 -\n";
    EXPECT_FALSE(m.Parse(gap, &why));
    EXPECT_NE(why.find("line 3"), std::string::npos);
    EXPECT_FALSE(m.Parse("0x0 + 1\n0x0 0x200 x\n", &why));
    EXPECT_FALSE(m.Parse("0x0 + 1\n0x0 0x0 +\n", &why));
    EXPECT_FALSE(m.Parse("0x0 + 1\n0xFFFFFFFFFFFFFF00 0x200 +\n", &why));  // overflows
    EXPECT_TRUE(m.Parse("0 ?\n0 1024 ?\n", &why)) << why;                     // an old map without the pass
    EXPECT_EQ(Body(m.Format()), "0x00000000     ?\n0x00000000  0x00000400  ?\n");
    // A fresh map: read part rescued, the rest not tried.
    m.Reset(4096, 1024);
    ASSERT_EQ(m.Blocks().size(), 2u);
    EXPECT_EQ(m.Blocks()[1].cStatus, '?');
    EXPECT_EQ(m.NotRescued(512, 8)[0].nFirst, 2u);
}

}  // namespace
