// Destination naming: numbering, folder variants, and names that must not leave the destination.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "CKivRecoverNames.h"
#include "RecoverTestUtil.h"
#include "platform/KivFileUtil.h"

namespace fs = std::filesystem;
using N = CKivRecoverNames;

TEST(KivRecoverNames, FileNumberingSkipsTakenNames) {
    KivTestDir d;
    std::ofstream(d.Path() / "a.txt") << "old";
    std::ofstream(d.Path() / "a_000.txt") << "old";
    std::string fb = d.Str() + "/";
    EXPECT_EQ(N::MakeOutputFile(d.Str(), "a.txt", fb), d.Str() + "/a_001.txt");
    EXPECT_EQ(N::MakeOutputFile(d.Str(), "readme", fb), d.Str() + "/readme");
    EXPECT_EQ(N::MakeOutputFile(d.Str(), "readme", fb), d.Str() + "/readme_000");
    // The dot of a folder name is not an extension.
    EXPECT_EQ(N::NumberedPath("/x/v1.2/readme", 3), "/x/v1.2/readme_003");
    EXPECT_EQ(N::NumberedPath("/x/arc.tar.gz", 0), "/x/arc.tar_000.gz");
    // The old files were not touched.
    EXPECT_EQ(KivTestReadFile(d.Path() / "a.txt").size(), 3u);
}

TEST(KivRecoverNames, MissingFolderFallsBackAndExistingFilesAreNeverOverwritten) {
    KivTestDir d;
    std::string fb = d.Str() + "/";
    EXPECT_EQ(N::MakeOutputFile(d.Str() + "/gone", "f.bin", fb), fb + "f.bin");
    EXPECT_EQ(N::MakeOutputFile("", "f.bin", fb), fb + "f_000.bin");
    // All of _000.._999 taken: the next number is used, "f_999.bin" keeps its content.
    for (int i = 1; i < 1000; ++i) {
        char n[32];
        std::snprintf(n, sizeof n, "f_%03d.bin", i);
        std::ofstream(d.Path() / n) << "keep";
    }
    EXPECT_EQ(N::MakeOutputFile(d.Str(), "f.bin", fb), fb + "f_1000.bin");
    EXPECT_EQ(KivTestReadFile(d.Path() / "f_999.bin").size(), 4u);
}

TEST(KivRecoverNames, FolderVariants) {
    KivTestDir d;
    std::string p = d.Str() + "/name";
    EXPECT_EQ(N::MakeNewFolder(p), p);
    EXPECT_EQ(N::MakeNewFolder(p), p + "_000");
    EXPECT_EQ(N::MakeNewFolder(p), p + "_001");
    EXPECT_EQ(N::MakeNewFolder(d.Str() + "/no/such/parent"), "");
    EXPECT_TRUE(N::MakeFolderPath(d.Str() + "/deep/er/path/"));
    EXPECT_TRUE(fs::is_directory(d.Path() / "deep/er/path"));
}

