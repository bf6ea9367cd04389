// Runs the built undelia-cli on small images: exit codes, one-line errors, the table and JSON.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliTestSupport.h"
#include "KivNeedTool.h"
#include "KivTempDirTest.h"

namespace {

class CliLinux : public KivTempDirTest {
protected:
    CliLinux() : KivTempDirTest("kiv-cli-") {}

    CliRun Cli(const std::vector<std::string>& args, int nInterruptMs = 0) {
        return KivRunCli(args, m_dir, nInterruptMs);
    }

    std::string File(const std::string& name, size_t nBytes) {
        std::string path = m_dir + "/" + name;
        std::ofstream f(path, std::ios::binary);
        std::string junk(nBytes, '\0');
        for (size_t i = 0; i < nBytes; ++i) junk[i] = static_cast<char>((i * 2654435761u) >> 13);
        f << junk;
        return path;
    }
};

}  // namespace

TEST_F(CliLinux, UnusableInputGivesExitOneAndOneLine) {
    std::string empty = File("empty.img", 0);
    std::string dir = m_dir + "/folder";
    ::mkdir(dir.c_str(), 0700);
    for (const std::string& path : {m_dir + "/missing.img", dir, empty}) {
        CliRun r = Cli({"scan", path});
        EXPECT_EQ(r.nExit, 1) << path;
        EXPECT_EQ(CliLines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    if (::geteuid() != 0) {  // root reads anything
        std::string locked = File("locked.img", 4096);
        ::chmod(locked.c_str(), 0);
        CliRun r = Cli({"scan", locked});
        EXPECT_EQ(r.nExit, 1);
        EXPECT_EQ(CliLines(r.err), 1u) << r.err;
    }
    CliRun bad = Cli({"scan", File("x.img", 4096), "--sector-size", "1000"});
    EXPECT_EQ(bad.nExit, 1);
    EXPECT_EQ(CliLines(bad.err), 1u) << bad.err;
}

TEST_F(CliLinux, UsageErrorsHelpAndVersion) {
    CliRun none = Cli({});
    EXPECT_EQ(none.nExit, 1);
    EXPECT_EQ(CliLines(none.err), 1u) << none.err;
    CliRun unknown = Cli({"scan", "--bogus", "x"});
    EXPECT_EQ(unknown.nExit, 1);
    EXPECT_EQ(CliLines(unknown.err), 1u) << unknown.err;
    CliRun help = Cli({"--help"});
    EXPECT_EQ(help.nExit, 0);
    for (const char* word : {"scan", "ls", "recover", "--quiet", "--version"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    CliRun version = Cli({"-V"});
    EXPECT_EQ(version.nExit, 0);
    EXPECT_EQ(version.out.rfind("undelia-cli ", 0), 0u) << version.out;
    // An unknown command is named; global options are taken after the command as well.
    CliRun bogus = Cli({"-q", "scna", "x.img"});
    EXPECT_EQ(bogus.nExit, 1);
    EXPECT_EQ(CliLines(bogus.err), 1u) << bogus.err;
    EXPECT_NE(bogus.err.find("unknown command 'scna'"), std::string::npos) << bogus.err;
    std::string img = File("x.img", 4096);
    for (const auto& args : {std::vector<std::string>{"scan", "-q", img}, {"scan", img, "--quiet"}}) {
        CliRun quiet = Cli(args);
        EXPECT_EQ(quiet.nExit, 0) << quiet.err;
        EXPECT_TRUE(quiet.err.empty()) << quiet.err;  // no summary line
    }
}

TEST_F(CliLinux, ScanOfJunkPrintsSummaryAndJson) {
    std::string img = File("junk.img", 9 * 1024 * 1024 + 100);  // not a sector multiple
    CliRun table = Cli({"scan", img});
    EXPECT_EQ(table.nExit, 0) << table.err;
    EXPECT_EQ(CliLines(table.err), 1u) << table.err;  // the summary, no progress line
    EXPECT_NE(table.err.find("items found"), std::string::npos);
    EXPECT_FALSE(table.out.empty());

    CliRun quiet = Cli({"-q", "scan", img, "--json", "--types", "jpg,.PNG"});
    EXPECT_EQ(quiet.nExit, 0) << quiet.err;
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
    nlohmann::json j = nlohmann::json::parse(quiet.out);
    EXPECT_EQ(j["sector_size"], 512);
    EXPECT_EQ(j["sectors"], (9 * 1024 * 1024 + 100 + 511) / 512);
    EXPECT_EQ(j["scan"]["blocks"], 3);
    EXPECT_EQ(j["scan"]["blocks_done"], 3);
    EXPECT_EQ(j["scan"]["cancelled"], false);
    EXPECT_TRUE(j["partitions"].is_array());
}

TEST_F(CliLinux, SampleImageShowsItsFatPartition) {
    std::string img = m_dir + "/sample.img";
    std::string cmd = KIV_SOURCE_DIR "/scripts/make-sample '" + img + "' 48 >/dev/null";
    if (std::system(cmd.c_str()) != 0) KIV_SKIP_MISSING_TOOL("make-sample needs mkfs.fat, mtools and sfdisk");
    CliRun r = Cli({"scan", img, "--json"});
    ASSERT_EQ(r.nExit, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    bool bFound = false;
    for (const auto& p : j["partitions"])
        if (p["type"] == "FAT32" && p["first_sector"] == 2048 && p["selected"] == true) bFound = true;
    EXPECT_TRUE(bFound) << r.out;
    EXPECT_GT(j["scan"]["items_found"].get<uint64_t>(), 0u);
}

TEST_F(CliLinux, InterruptStopsTheScanCleanly) {
    // A large sparse image read as a disk (holes and all): reading it would take far longer than
    // the test waits.
    std::string img = m_dir + "/big.img";
    ASSERT_EQ(::truncate(File("big.img", 0).c_str(), 64ll << 30), 0);
    auto t0 = std::chrono::steady_clock::now();
    CliRun r = KivRunCli({"scan", img, "--json"}, m_dir, 500, KivNoHolesEnv(img));
    double dSec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(r.nExit, 130) << r.err;
    EXPECT_LT(dSec, 30.0);
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["scan"]["cancelled"], true);
    EXPECT_LT(j["scan"]["blocks_done"].get<uint64_t>(), j["scan"]["blocks"].get<uint64_t>());
    EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
}

TEST_F(CliLinux, TypesAreListedAndUnknownOnesRefusedByName) {
    CliRun types = Cli({"types", "--json"});
    ASSERT_EQ(types.nExit, 0) << types.err;
    nlohmann::json j = nlohmann::json::parse(types.out);
    std::map<std::string, bool> carved;
    std::map<std::string, std::string> folder;
    for (const auto& t : j["types"]) {
        carved[t["extension"]] = t["carved"];
        if (t.contains("folder")) folder[t["extension"]] = t["folder"];
    }
    EXPECT_TRUE(carved.at("jpg"));
    // The folder names are read as they stand: no slips of the pen.
    EXPECT_EQ(folder["cdr"], "Corel Draw");
    EXPECT_EQ(folder["dxf"], "AutoCAD DXF");
    EXPECT_TRUE(carved.at("docx"));
    EXPECT_EQ(carved.count("raw"), 0u) << "the placeholder of id 0 is no type";

    std::string img = File("junk.img", 1 << 20);
    CliRun bad = Cli({"-q", "scan", img, "--types", "jpg,jpgg,xyz"});
    EXPECT_EQ(bad.nExit, 1);
    EXPECT_EQ(CliLines(bad.err), 1u) << bad.err;
    EXPECT_NE(bad.err.find("'jpgg', 'xyz'"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find(" png "), std::string::npos) << "the valid ones are named: " << bad.err;
    EXPECT_TRUE(bad.out.empty());
}

TEST_F(CliLinux, PathMatchesWithoutCaseAndJsonReportsOutcomesAndZonedTimes) {
    std::string img = m_dir + "/sample.img";
    std::string cmd = KIV_SOURCE_DIR "/scripts/make-sample '" + img + "' 48 >/dev/null";
    if (std::system(cmd.c_str()) != 0) KIV_SKIP_MISSING_TOOL("make-sample needs mkfs.fat, mtools and sfdisk");
    // FAT names keep their case but compare without it: "photos/*.PNG" finds Photos/holiday.png.
    CliRun r = Cli({"-q", "recover", img, "--to", m_dir + "/out", "--path", "photos/*.PNG", "--json"});
    ASSERT_EQ(r.nExit, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_GE(j["selected"].get<int>(), 1) << r.out;
    EXPECT_TRUE(j["damaged_files"].is_array());
    EXPECT_TRUE(j["failed_files"].is_array());
    std::string started = j["started"];
    EXPECT_TRUE(std::regex_match(started, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)"))) << started;

    CliRun ls = Cli({"-q", "ls", img, "--json"});
    ASSERT_EQ(ls.nExit, 0) << ls.err;
    bool bTime = false;
    nlohmann::json listed = nlohmann::json::parse(ls.out);
    for (const auto& e : listed["entries"])
        if (e.contains("modified")) {
            std::string t = e["modified"];
            EXPECT_TRUE(std::regex_match(t, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << t;
            bTime = true;
        }
    EXPECT_TRUE(bTime);
}

// No failure exits 0: output that never reached its file, a selection that matched nothing, a
// scanner name nobody knows, an option without the one it needs, a destination that is a link to
// nowhere (found before the scan), an image the user may not read (the system's reason, not
// advice about raw disks).
TEST_F(CliLinux, FailuresAreNeverReportedAsSuccess) {
    std::string img = m_dir + "/sample.img";
    if (std::system((KIV_SOURCE_DIR "/scripts/make-sample '" + img + "' 48 >/dev/null").c_str()) != 0)
        KIV_SKIP_MISSING_TOOL("make-sample needs mkfs.fat, mtools and sfdisk");
    const std::string cli = ShellQuote(KIV_BIN_DIR "/undelia-cli") + " ";
    for (const std::string& args : {std::string("types"), "-q ls " + img, "-q scan --json " + img}) {
        ShellRun r = ShellRunIn(m_dir, cli + args + " >/dev/full");
        EXPECT_EQ(r.nExit, 2) << args;
        EXPECT_EQ(r.err, "undelia-cli: cannot write the output: No space left on device\n") << args;
    }
    CliRun none = Cli({"-q", "recover", img, "--to", m_dir + "/out", "--select", "nomatch*"});
    EXPECT_EQ(none.nExit, 1);
    EXPECT_NE(none.err.find("no file matches --select 'nomatch*'"), std::string::npos) << none.err;
    CliRun scanners = KivRunCli({"-q", "scan", img}, m_dir, 0, {"UNDELIA_SCANNERS=fat,fta"});
    EXPECT_EQ(scanners.nExit, 1);
    EXPECT_NE(scanners.err.find("'fta'"), std::string::npos) << scanners.err;
    CliRun every = Cli({"-q", "scan", img, "--save-every", "5"});
    EXPECT_EQ(every.nExit, 1);
    EXPECT_EQ(every.err, "undelia-cli: --save-every goes with --session FILE\n");
    ::symlink((m_dir + "/nowhere/out").c_str(), (m_dir + "/dangling").c_str());
    CliRun dangling = Cli({"recover", img, "--to", m_dir + "/dangling"});
    EXPECT_EQ(dangling.nExit, 1);
    EXPECT_EQ(CliLines(dangling.err), 1u) << dangling.err;  // before the scan's summary
    EXPECT_NE(dangling.err.find("does not exist"), std::string::npos) << dangling.err;
    // Root reads anything: the unreadable image is tried as an ordinary user.
    if (::geteuid() == 0 && std::system("command -v setpriv >/dev/null") == 0) {
        ::chmod(m_dir.c_str(), 0755);
        ::chmod(img.c_str(), 0600);
        ShellRun r = ShellRunIn(m_dir, "setpriv --reuid=nobody --regid=nogroup --clear-groups " + cli + "-q scan " + img);
        EXPECT_EQ(r.nExit, 1);
        EXPECT_EQ(r.err, "undelia-cli: cannot open '" + img + "': Permission denied\n");
    }
}

// A name holding escape sequences and a newline (written into the FAT's long-name entry) is shown
// escaped on the terminal, one line per file, and exact in JSON.
TEST_F(CliLinux, NamesFromTheMediumCannotTakeOverTheTerminal) {
    std::string img = m_dir + "/esc.img", src = m_dir + "/src.txt";
    std::ofstream(src) << "hi";
    std::string make = "export MTOOLS_SKIP_CHECK=1; mkfs.fat -C -F 16 '" + img + "' 16384 >/dev/null && mcopy -i '" +
                       img + "' '" + src + "' '::aQ[31mredZx.txt' && python3 -c \"import sys; p=sys.argv[1]; " +
                       "d=bytearray(open(p,'rb').read()); i=d.find(b'Q\\0'); d[i]=27; i=d.find(b'Z\\0'); d[i]=10; " +
                       "open(p,'wb').write(d)\" '" + img + "'";
    if (std::system(make.c_str()) != 0) KIV_SKIP_MISSING_TOOL("needs mkfs.fat, mtools and python3");
    CliRun ls = Cli({"-q", "ls", img});
    EXPECT_EQ(ls.nExit, 0) << ls.err;
    EXPECT_NE(ls.out.find("a\\033[31mred\\nx.txt  2 B"), std::string::npos) << ls.out;
    EXPECT_EQ(ls.out.find('\x1b'), std::string::npos);
    CliRun json = Cli({"-q", "ls", img, "--json"});
    EXPECT_NE(json.out.find("a\\u001b[31mred\\nx.txt"), std::string::npos) << json.out;
    CliRun rec = Cli({"-q", "recover", img, "--to", m_dir + "/out", "--select", "*red*"});
    EXPECT_EQ(rec.err.find('\x1b'), std::string::npos) << rec.err;
}
