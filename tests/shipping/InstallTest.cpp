// `cmake --install` into a temporary prefix, then the installed undelia-cli run from another
// folder over the sample image: the layout, the loader's rule through the bin/ link, and nothing
// written into the installed folders.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "KivVersion.h"
#include "KivShellRun.h"

namespace {

std::set<std::string> FilesUnder(const std::string& dir, const std::string& rel = "") {
    std::set<std::string> out;
    DIR* d = ::opendir((dir + rel).c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string r = rel + "/" + n;
        struct stat st {};
        if (::lstat((dir + r).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            out.insert(r + "/");
            for (const std::string& s : FilesUnder(dir, r)) out.insert(s);
        } else {
            out.insert(r);
        }
    }
    ::closedir(d);
    return out;
}

// One installation and one sample image for the whole program (installing takes a few seconds).
class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char sz[] = "/tmp/kiv-install-XXXXXX";
        ASSERT_NE(::mkdtemp(sz), nullptr);
        s_dir = sz;
        s_prefix = s_dir + "/prefix";
        ShellRun r = ShellRunIn(s_dir, "cmake --install " + ShellQuote(KIV_BUILD_DIR) + " --prefix " +
                                           ShellQuote(s_prefix));
        ASSERT_EQ(r.nExit, 0) << r.out << r.err;
        r = ShellRunIn(s_dir, ShellQuote(KIV_SOURCE_DIR "/scripts/make-sample") + " " + ShellQuote(s_dir + "/sample.img"));
        ASSERT_EQ(r.nExit, 0) << r.err;
        ::mkdir((s_dir + "/elsewhere").c_str(), 0700);
    }
    static void TearDownTestSuite() { std::system(("rm -rf " + ShellQuote(s_dir)).c_str()); }

    // The installed program, started through its bin/ link from an unrelated folder, with the
    // per-user folders inside the test's folder.
    ShellRun Installed(const std::string& args) {
        return ShellRunIn(s_dir, "cd " + ShellQuote(s_dir + "/elsewhere") + " && env XDG_STATE_HOME=" +
                                     ShellQuote(s_dir + "/state") + " XDG_CONFIG_HOME=" + ShellQuote(s_dir + "/config") +
                                     " XDG_RUNTIME_DIR=" + ShellQuote(s_dir + "/run") + " PATH=" +
                                     ShellQuote(s_prefix + "/bin") + ":/usr/bin:/bin undelia-cli " + args);
    }

    static std::string s_dir, s_prefix;
};
std::string InstallTest::s_dir, InstallTest::s_prefix;

}  // namespace

TEST_F(InstallTest, LaysOutProgramsLibrariesDataAndDocumentation) {
    std::set<std::string> files = FilesUnder(s_prefix);
    for (const char* f : {"/bin/undelia-cli", "/lib/undelia/undelia-cli", "/lib/undelia/KivScanDev.so",
                          "/lib/undelia/KivEnumDevEx.so", "/lib/undelia/KivFilter.so", "/lib/undelia/KivSrvConnector.so",
                          "/lib/undelia/KivErrStr.ini", "/lib/undelia/KivHintStr.ini", "/lib/undelia/KivFilter.ini",
                          "/lib/undelia/KivFileType.ini", "/lib/undelia/KivInstalled.ini",
                          "/lib/undelia/CustomFileScript/", "/share/man/man1/undelia-cli.1.gz",
                          "/share/doc/undelia-cli/copyright", "/share/doc/undelia-cli/recovery-report.schema.json"})
        EXPECT_TRUE(files.count(f)) << f;
#ifdef KIV_HAS_DESKTOP
    // The desktop program with its skin, manual and menu entry.
    for (const char* f : {"/bin/Undelia", "/lib/undelia/Undelia", "/lib/undelia/res/res.ini", "/lib/undelia/help.html",
                          "/lib/undelia/undelia.svg", "/share/man/man1/Undelia.1.gz",
                          "/share/applications/undelia.desktop", "/share/icons/hicolor/scalable/apps/undelia.svg",
                          "/share/doc/undelia/copyright"})
        EXPECT_TRUE(files.count(f)) << f;
    EXPECT_FALSE(files.count("/bin/undelia-screenshots"));
    EXPECT_FALSE(files.count("/lib/undelia/undelia-screenshots"));
    // The menu entry starts the program by the name bin/ holds and shows the icon installed.
    std::string entry = ShellReadText(s_prefix + "/share/applications/undelia.desktop");
    EXPECT_NE(entry.find("\nExec=Undelia\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=undelia\n"), std::string::npos) << entry;
#endif
    // Nothing of the build or the tests comes along.
    for (const std::string& f : files) {
        EXPECT_EQ(f.find("test_"), std::string::npos) << f;
        EXPECT_EQ(f.find("-throughput"), std::string::npos) << f;
        EXPECT_EQ(f.find(".DAT"), std::string::npos) << f;
    }
    // bin/ holds a relative link, so the tree can be moved and packaged.
    char sz[256] = {};
    ASSERT_GT(::readlink((s_prefix + "/bin/undelia-cli").c_str(), sz, sizeof sz - 1), 0);
    EXPECT_STREQ(sz, "../lib/undelia/undelia-cli");
}

// The command-line program installs alone (the Debian package undelia-cli): nothing of the
// desktop program, everything the command-line program needs, and it runs.
TEST_F(InstallTest, TheCommandLineComponentStandsAlone) {
    std::string prefix = s_dir + "/cli-only";
    ShellRun r = ShellRunIn(s_dir, "cmake --install " + ShellQuote(KIV_BUILD_DIR) + " --component cli --prefix " +
                                       ShellQuote(prefix));
    ASSERT_EQ(r.nExit, 0) << r.out << r.err;
    std::set<std::string> files = FilesUnder(prefix);
    for (const char* f : {"/bin/undelia-cli", "/lib/undelia/undelia-cli", "/lib/undelia/KivScanDev.so",
                          "/lib/undelia/KivFilter.ini", "/lib/undelia/CustomFileScript/",
                          "/share/man/man1/undelia-cli.1.gz", "/share/doc/undelia-cli/copyright"})
        EXPECT_TRUE(files.count(f)) << f;
    for (const std::string& f : files) {
        EXPECT_EQ(f.find("Undelia"), std::string::npos) << f;
        EXPECT_EQ(f.find("/res/"), std::string::npos) << f;
        EXPECT_EQ(f.find("/share/doc/undelia/"), std::string::npos) << f;
        EXPECT_EQ(f.find("/applications/"), std::string::npos) << f;
    }
    r = ShellRunIn(s_dir, "env XDG_STATE_HOME=" + ShellQuote(s_dir + "/state") + " XDG_CONFIG_HOME=" +
                              ShellQuote(s_dir + "/config") + " XDG_RUNTIME_DIR=" + ShellQuote(s_dir + "/run") + " " +
                              ShellQuote(prefix + "/bin/undelia-cli") + " -q scan --json " +
                              ShellQuote(s_dir + "/sample.img"));
    EXPECT_EQ(r.nExit, 0) << r.err;
}

TEST_F(InstallTest, RunsFromAnyFolderOverTheSampleAndWritesNothingIntoItsFolder) {
    std::set<std::string> before = FilesUnder(s_prefix);

    ShellRun r = Installed("--version");
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "undelia-cli " UNDELIA_VERSION "\n");

    r = Installed("scan --json " + ShellQuote(s_dir + "/sample.img"));
    ASSERT_EQ(r.nExit, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    ASSERT_FALSE(j["partitions"].empty());
    EXPECT_EQ(j["partitions"][0]["type"], "FAT32");

    r = Installed("recover " + ShellQuote(s_dir + "/sample.img") + " --to " + ShellQuote(s_dir + "/out"));
    EXPECT_EQ(r.nExit, 0) << r.err;
    std::set<std::string> written = FilesUnder(s_dir + "/out");
    EXPECT_GT(written.size(), 5u);
    bool bCarved = false;  // the carving analysers and the catalogues were found beside the program
    for (const std::string& f : written) bCarved |= f.size() > 4 && f.compare(f.size() - 4, 4, ".png") == 0;
    EXPECT_TRUE(bCarved);

    // Even as root the installed folders stay as installed: logs go to the state folder.
    EXPECT_EQ(FilesUnder(s_prefix), before);
}
