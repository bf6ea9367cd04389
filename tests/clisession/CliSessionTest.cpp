// The command line's session driven in-process, step by step as its commands drive it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliSession.h"
#include "KivTestImages.h"

namespace {

std::vector<uint64_t> FirstSectors(const CliSession& s) {
    std::vector<uint64_t> out;
    for (const CKivScanResPart* p : s.Parts()) out.push_back(p->m_nFirstSector);
    return out;
}

}  // namespace

TEST(CliSessionSteps, ASecondScanLeavesNothingOfTheFirstOneBehind) {
    // A FAT16 volume with folders and deleted files (scripts/make-fat-images, only read here).
    const std::string dir = KivTestImageDir("make-fat-images", "fat-test-images");
    ASSERT_FALSE(dir.empty()) << "scripts/make-fat-images failed";
    const std::string img = dir + "/fat16.img";
    {
        CliGlobalOptions global;
        global.bQuiet = true;
        CliSession s(global);
        CliScanOptions opts;
        opts.strPath = img;
        ASSERT_EQ(s.OpenAndScan(opts), CLI_EXIT_OK);
        ASSERT_EQ(s.BuildTree(), CLI_EXIT_OK);
        ASSERT_NE(s.Root(), nullptr);
        const std::vector<uint64_t> first = FirstSectors(s);
        ASSERT_FALSE(first.empty());

        // The scan driver deletes the partitions and the tree of the first pass: what the session
        // offers afterwards is the second pass's.
        ASSERT_EQ(s.Scan(), CLI_EXIT_OK);
        EXPECT_EQ(s.Root(), nullptr);
        EXPECT_EQ(FirstSectors(s), first);
        EXPECT_EQ(s.PartIndexes().size(), first.size());
        ASSERT_EQ(s.EnumParts(), CLI_EXIT_OK);
        ASSERT_EQ(s.BuildTree(), CLI_EXIT_OK);
        EXPECT_NE(s.Root(), nullptr);
    }
}
