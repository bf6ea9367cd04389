// The value texts of undelia-cli's result options.
#include <gtest/gtest.h>

#include "CliParse.h"
#include "platform/KivPlatform.h"

TEST(CliParseTest, SizesTakeBinaryUnits) {
    uint64_t n = 0;
    struct Case {
        const char* text;
        uint64_t bytes;
    };
    for (const Case& c : {Case{"1500", 1500}, Case{"10K", 10240}, Case{"10k", 10240}, Case{"4KB", 4096},
                          Case{"4KiB", 4096}, Case{"1.5M", 1572864}, Case{"2G", 2147483648ull}, Case{" 7 b ", 7},
                          Case{"0", 0}}) {
        ASSERT_TRUE(CliParseSize(c.text, &n)) << c.text;
        EXPECT_EQ(n, c.bytes) << c.text;
    }
    for (const char* bad : {"", "K", "1.2.3", "10X", "10KX", "-5", "99999999999P", "1e3"}) EXPECT_FALSE(CliParseSize(bad, &n)) << bad;
}

TEST(CliParseTest, TimeRangesOfDatesAndTimes) {
    uint64_t a = 0, b = 0;
    const uint64_t kDay = 86400ull * 10000000;
    ASSERT_TRUE(CliParseTimeRange("2024-01-31..2024-02-01", &a, &b));
    EXPECT_EQ(a, KivUnixToFileTime(1706659200));           // 2024-01-31 00:00 UTC
    EXPECT_EQ(b, KivUnixToFileTime(1706745600) + kDay - 1);  // the whole of 2024-02-01
    ASSERT_TRUE(CliParseTimeRange("2024-01-31T08:30..", &a, &b));
    EXPECT_EQ(a, KivUnixToFileTime(1706689800));
    EXPECT_EQ(b, UINT64_MAX);
    ASSERT_TRUE(CliParseTimeRange("..2024-01-31 08:30:15+02:00", &a, &b));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, KivUnixToFileTime(1706682615) + 10000000 - 1);
    ASSERT_TRUE(CliParseTimeRange("2024-01-31T08:30Z..2024-01-31T08:30Z", &a, &b));
    EXPECT_EQ(b - a, 60ull * 10000000 - 1);  // a minute given is the whole minute
    for (const char* bad : {"2024-01-31", "..", "2024-02-30..", "2024-13-01..", "24-01-31..", "2024-01-31T8:30..",
                            "2024-02-01..2024-01-31", "2024-01-31x..", "1500-01-01.."})
        EXPECT_FALSE(CliParseTimeRange(bad, &a, &b)) << bad;
}
