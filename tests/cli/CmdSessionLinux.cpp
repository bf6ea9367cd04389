// Scan sessions through undelia-cli: a scan stopped part-way (or killed) and resumed lists what an
// uninterrupted one lists; ls and recover with --session give what they give without it; session
// files of another image, cut short, changed or of another version are refused with one line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "IKivScanDev.h"
#include "KivTestImages.h"
#include "KivNeedTool.h"
#include "KivTempDirTest.h"

namespace {

class CmdSessionLinux : public KivTempDirTest {
protected:
    CmdSessionLinux() : KivTempDirTest("kiv-session-cli-") {}

    CliRun Cli(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        return KivRunCli(args, m_dir, 0, env);
    }
    // The same through the test build, whose hooks the environment sets.
    CliRun Hooked(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        return KivRunCli(args, m_dir, 0, env, kCliHooked);
    }
    static std::string Image(const std::string& name) {
        static std::string dir = KivTestImageDir("make-recovery-images", "recovery-test-images");
        return dir.empty() ? std::string() : dir + "/" + name;
    }
    // A disk with a FAT32 partition and pictures in the space after it (made once).
    static std::string Sample() {
        static std::string path = [] {
            std::string p = std::string(KIV_BIN_DIR) + "/../session-sample.img";
            std::string cmd = KIV_SOURCE_DIR "/scripts/make-sample '" + p + "' 48 >/dev/null 2>&1";
            return std::system(cmd.c_str()) == 0 ? p : std::string();
        }();
        return path;
    }
    nlohmann::json Entries(const CliRun& r) {
        EXPECT_EQ(r.nExit, 0) << r.err;
        nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << r.out;
        return j.is_discarded() ? nlohmann::json() : j["entries"];
    }
};

}  // namespace

TEST_F(CmdSessionLinux, StoppedAndResumedScansListWhatOneScanLists) {
    std::vector<std::string> images = {Image("fat32-c512.img"), Image("ntfs-c4k.img"), Sample()};
    for (const std::string& img : images) {
        if (img.empty()) KIV_SKIP_MISSING_TOOL("the test images could not be made");
        nlohmann::json whole = Entries(Cli({"ls", img, "--json"}));
        ASSERT_FALSE(whole.empty()) << img;
        uint64_t nBlocks = (std::filesystem::file_size(img) + KIV_SCAN_BLOCK_BYTES - 1) / KIV_SCAN_BLOCK_BYTES;
        for (uint64_t nStop : {nBlocks / 10 ? nBlocks / 10 : 1, nBlocks / 2, nBlocks * 9 / 10}) {
            std::string session = m_dir + "/" + std::filesystem::path(img).stem().string() + "-" +
                                  std::to_string(nStop) + ".und";
            CliRun first = Hooked({"scan", img, "--session", session, "-q"},
                                  {"UNDELIA_TEST_STOP_AFTER_BLOCKS=" + std::to_string(nStop)});
            ASSERT_EQ(first.nExit, 0) << first.err;
            EXPECT_NE(first.err.find("--resume"), std::string::npos) << first.err;
            // Unfinished: ls says how to finish it and lists nothing.
            CliRun early = Cli({"ls", img, "--session", session});
            EXPECT_EQ(early.nExit, 1);
            EXPECT_EQ(CliLines(early.err), 1u) << early.err;
            CliRun resumed = Cli({"scan", img, "--session", session, "--resume", "-q"});
            ASSERT_EQ(resumed.nExit, 0) << resumed.err;
            EXPECT_EQ(Entries(Cli({"ls", img, "--session", session, "--json"})), whole)
                << img << " stopped after " << nStop;
        }
    }
}

TEST_F(CmdSessionLinux, LsAndRecoverWithTheSessionMatchThemWithout) {
    std::string img = Image("fat32-c512.img");
    if (img.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
    std::string session = m_dir + "/s.und";
    CliRun scan = Cli({"scan", img, "--session", session});
    ASSERT_EQ(scan.nExit, 0) << scan.err;
    CliRun plain = Cli({"ls", img});
    CliRun kept = Cli({"ls", img, "--session", session});
    ASSERT_EQ(kept.nExit, 0) << kept.err;
    EXPECT_EQ(kept.out, plain.out);
    // A new scan never writes over a session.
    CliRun again = Cli({"scan", img, "--session", session});
    EXPECT_EQ(again.nExit, 1);
    EXPECT_EQ(CliLines(again.err), 1u) << again.err;
    // --resume of a finished scan has nothing left to do and still shows the result.
    CliRun done = Cli({"scan", img, "--session", session, "--resume"});
    EXPECT_EQ(done.nExit, 0) << done.err;
    EXPECT_EQ(done.out, scan.out);
    // Other types than the scan was made with cannot be had from it.
    CliRun types = Cli({"ls", img, "--session", session, "--types", "jpg"});
    EXPECT_EQ(types.nExit, 1);
    EXPECT_EQ(CliLines(types.err), 1u) << types.err;

    std::string a = m_dir + "/a", b = m_dir + "/b";
    ASSERT_EQ(Cli({"recover", img, "--to", a, "-q"}).nExit, 0);
    CliRun rec = Cli({"recover", img, "--session", session, "--to", b, "-q"});
    ASSERT_EQ(rec.nExit, 0) << rec.err;
    EXPECT_EQ(std::system(("diff -r '" + a + "' '" + b + "' >/dev/null").c_str()), 0);
}

TEST_F(CmdSessionLinux, ForeignCutChangedAndOldSessionsAreRefused) {
    std::string img = Image("fat16-c512.img"), other = Image("fat16-c4k.img");
    if (img.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
    std::string session = m_dir + "/s.und";
    ASSERT_EQ(Cli({"scan", img, "--session", session, "-q"}).nExit, 0);
    std::string good = CliReadText(session);
    auto refused = [&](const std::string& content, const std::string& target, const char* pszWord) {
        std::string path = m_dir + "/t.und";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        CliRun r = Cli({"ls", target, "--session", path});
        EXPECT_EQ(r.nExit, 1) << pszWord;
        EXPECT_EQ(CliLines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(pszWord), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    };
    refused(good, other, "saved for");
    refused(good.substr(0, good.size() / 2), img, "cut short");
    std::string flipped = good;
    flipped[good.size() / 3] ^= 0x20;
    refused(flipped, img, "damaged");
    std::string old = good;
    old[8] = 0;
    refused(old, img, "version 0");
    CliRun missing = Cli({"ls", img, "--session", m_dir + "/none.und"});
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_EQ(CliLines(missing.err), 1u) << missing.err;
    CliRun noSession = Cli({"scan", img, "--resume"});
    EXPECT_EQ(noSession.nExit, 1);
}

TEST_F(CmdSessionLinux, KilledScanLeavesItsLastCompleteSave) {
    std::string img = Image("fat32-c512.img");
    if (img.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
    std::string session = m_dir + "/s.und";
    // Saved after every block (the image read without its holes, which are passed over a run at a
    // time); the process is killed right after the fourth save.
    std::vector<std::string> env = KivNoHolesEnv(img);
    env.push_back("UNDELIA_TEST_KILL_AFTER_SAVE=4");
    CliRun killed = Hooked({"scan", img, "--session", session, "--save-every", "0", "-q"}, env);
    EXPECT_EQ(killed.nExit, 128 + SIGKILL);
    CliRun early = Cli({"ls", img, "--session", session});
    EXPECT_EQ(early.nExit, 1);
    EXPECT_NE(early.err.find("4 of"), std::string::npos) << early.err;
    CliRun resumed = Cli({"scan", img, "--session", session, "--resume", "-q"});
    ASSERT_EQ(resumed.nExit, 0) << resumed.err;
    EXPECT_EQ(Entries(Cli({"ls", img, "--session", session, "--json"})), Entries(Cli({"ls", img, "--json"})));
    // Nothing but the session is left in the folder: no temporary file of the killed save.
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_dir)) n += e.path().extension() != ".out" &&
                                                                         e.path().extension() != ".err";
    EXPECT_EQ(n, 1u);
}
