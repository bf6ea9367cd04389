// Destination naming by the rules of Linux's file systems: what a name may hold, how long it may be,
// and links in the way.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CKivRecoverNames.h"
#include "RecoverTestUtil.h"
#include "platform/KivFileUtil.h"

namespace fs = std::filesystem;
using N = CKivRecoverNames;

TEST(KivRecoverNamesLinux, ALinkInTheWayIsATakenNameNotADoor) {
    KivTestDir d;
    std::string fb = d.Str() + "/";
    fs::create_symlink("/etc/passwd", d.Path() / "lnk");
    EXPECT_EQ(N::MakeOutputFile(d.Str(), "lnk", fb), fb + "lnk_000");
}

TEST(KivRecoverNamesLinux, HostileNamesStayOneComponent) {
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
TEST(KivRecoverNamesLinux, LongNamesAreCutToTheDestinationsLimitOnly) {
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
