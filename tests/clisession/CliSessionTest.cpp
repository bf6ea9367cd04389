// The command line's session driven in-process, step by step as its commands drive it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "CliSession.h"

namespace {

// An 8 MiB FAT16 volume holding one file (mkfs.fat and mtools); empty when it could not be made.
std::string MakeImage(const std::string& dir) {
    std::string img = dir + "/fat.img", file = dir + "/a.txt";
    std::string cmd = "export MTOOLS_SKIP_CHECK=1; mkfs.fat -C -F 16 -s 2 '" + img + "' 8192 >/dev/null && echo text >'" +
                      file + "' && mcopy -i '" + img + "' '" + file + "' ::/a.txt";
    return std::system(cmd.c_str()) == 0 ? img : std::string();
}

std::vector<uint64_t> FirstSectors(const CliSession& s) {
    std::vector<uint64_t> out;
    for (const CKivScanResPart* p : s.Parts()) out.push_back(p->m_nFirstSector);
    return out;
}

}  // namespace

TEST(CliSessionSteps, ASecondScanLeavesNothingOfTheFirstOneBehind) {
    char sz[] = "/tmp/kiv-clisession-XXXXXX";
    ASSERT_NE(::mkdtemp(sz), nullptr);
    const std::string dir = sz;
    const std::string img = MakeImage(dir);
    ASSERT_FALSE(img.empty()) << "mkfs.fat and mtools make the image";
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
    std::filesystem::remove_all(dir);
}
