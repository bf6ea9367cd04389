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
    // A link in the way is a taken name, not a door.
    fs::create_symlink("/etc/passwd", d.Path() / "lnk");
    EXPECT_EQ(N::MakeOutputFile(d.Str(), "lnk", fb), fb + "lnk_000");
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

TEST(KivRecoverNames, HostileNamesStayOneComponent) {
    EXPECT_EQ(N::TopFolderName("x:y"), "x#y");
    EXPECT_EQ(N::TopFolderName("a\"*/:<>?\\|b"), "a#########b");
    EXPECT_EQ(N::SafeComponent("x:y"), "x:y");  // below the top only what Linux cannot hold changes
    EXPECT_EQ(N::SafeComponent("../../etc/passwd"), "..#..#etc#passwd");
    EXPECT_EQ(N::SafeComponent(".."), "##");
    EXPECT_EQ(N::SafeComponent("."), "#");
    EXPECT_EQ(N::SafeComponent(""), "#");
    EXPECT_EQ(N::SafeComponent(std::string("a\nb\x01\x7f\0", 6)), "a#b###");
    EXPECT_EQ(N::TopFolderName(".."), "##");
    // Too long for one component: shortened on a character boundary, extension kept.
    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "\xC3\xA9";  // 400 bytes of e-acute
    std::string s = N::SafeComponent(longName + ".jpg");
    EXPECT_LE(s.size(), N::kMaxComponent);
    EXPECT_EQ(s.substr(s.size() - 4), ".jpg");
    EXPECT_EQ(s.substr(0, 2), "\xC3\xA9");
    EXPECT_EQ((s.size() - 4) % 2, 0u);
    KivTestDir d;
    EXPECT_FALSE(N::MakeOutputFile(d.Str(), s, d.Str() + "/").empty());
}

// A name is cut only to what the destination takes (255 bytes on Linux's file systems): whole up
// to it, then on a character boundary with its extension; numbered variants stay within it too.
TEST(KivRecoverNames, LongNamesAreCutToTheDestinationsLimitOnly) {
    KivTestDir d;
    const size_t nMax = KivNameMax(d.Str());
    ASSERT_EQ(nMax, 255u) << "the test folder lies on a file system of another name limit";
    std::string full = std::string(251, 'L') + ".txt";
    EXPECT_EQ(N::SafeComponent(full, nMax), full);
    EXPECT_EQ(N::SafeComponent(full), full);
    std::string umlauts;
    for (int i = 0; i < 200; ++i) umlauts += "\xC3\xA4";  // 400 bytes of a-umlaut
    std::string cut = N::SafeComponent(umlauts + ".jpg", nMax);
    EXPECT_EQ(cut, umlauts.substr(0, 250) + ".jpg");  // 251 bytes left for the stem: 125 characters
    EXPECT_EQ(N::FitComponent(umlauts + ".jpg", 6), "\xC3\xA4.jpg");
    EXPECT_EQ(N::FitComponent(umlauts + ".jpg", 5), "\xC3\xA4" "\xC3\xA4");  // no room for a stem: no extension
    EXPECT_EQ(N::FitComponent(std::string(300, 'x') + "." + std::string(20, 'e'), 255), std::string(255, 'x'));

    // Taken: the numbered variants cut the stem, never the number or the extension.
    std::string fb = d.Str() + "/";
    EXPECT_EQ(N::MakeOutputFile(d.Str(), full, fb, nMax), fb + full);
    EXPECT_EQ(N::MakeOutputFile(d.Str(), full, fb, nMax), fb + std::string(247, 'L') + "_000.txt");
    EXPECT_EQ(N::MakeOutputFile(d.Str(), cut, fb, nMax), fb + cut);
    EXPECT_EQ(N::MakeOutputFile(d.Str(), cut, fb, nMax), fb + umlauts.substr(0, 246) + "_000.jpg");
    std::string folder = fb + std::string(255, 'F');
    EXPECT_EQ(N::MakeNewFolder(folder, nMax), folder);
    EXPECT_EQ(N::MakeNewFolder(folder, nMax), fb + std::string(251, 'F') + "_000");
    EXPECT_TRUE(fs::is_regular_file(fb + std::string(247, 'L') + "_000.txt"));
}
