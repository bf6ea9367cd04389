// The README's sample disk (scripts/make-sample) as a new user meets it: scan, ls and recover, with
// The Sleuth Kit's tsk_recover on the same image as the floor for what comes back.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "CliTestSupport.h"
#include "KivScanResult.h"
#include "KivNeedTool.h"

namespace fs = std::filesystem;

namespace {

class SampleImageLinux : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char sz[] = "/tmp/kiv-sample-XXXXXX";
        if (!::mkdtemp(sz)) return;
        s_dir = sz;
        std::string cmd = KIV_SOURCE_DIR "/scripts/make-sample '" + s_dir + "/sample.img' 48 >/dev/null";
        s_bMade = std::system(cmd.c_str()) == 0;
    }
    static void TearDownTestSuite() {
        if (!s_dir.empty()) fs::remove_all(s_dir);
    }
    void SetUp() override {
        if (!s_bMade) KIV_SKIP_MISSING_TOOL("make-sample needs mkfs.fat, mtools and sfdisk");
        m_work = s_dir + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(m_work);
    }
    std::string Image() const { return s_dir + "/sample.img"; }
    CliRun Cli(const std::vector<std::string>& args) const { return KivRunCli(args, m_work); }

    static inline std::string s_dir;
    static inline bool s_bMade = false;
    std::string m_work;
};

}  // namespace

// Every row the scan shows has a tree in ls; the other candidates only come with --all-candidates.
TEST_F(SampleImageLinux, ScanShowsWhatLsShowsUnderItsLabel) {
    CliRun scan = Cli({"-q", "scan", Image(), "--json"});
    ASSERT_EQ(scan.nExit, 0) << scan.err;
    CliRun ls = Cli({"-q", "ls", Image(), "--json"});
    ASSERT_EQ(ls.nExit, 0) << ls.err;
    std::multiset<std::string> shown, listed;
    nlohmann::json scanned = nlohmann::json::parse(scan.out), tree = nlohmann::json::parse(ls.out);
    for (const auto& p : scanned["partitions"]) {
        EXPECT_EQ(p["selected"], true) << p;
        shown.insert(p["type"].get<std::string>());
    }
    std::map<std::string, nlohmann::json> byPath;
    for (const auto& e : tree["entries"]) {
        byPath[e["path"]] = e;
        if (e["kind"] == "partition" && e["fs_type"] != "RAW") listed.insert(e["fs_type"].get<std::string>());
    }
    EXPECT_EQ(shown, listed);
    ASSERT_TRUE(byPath.count("SAMPLE(FAT32 1)")) << ls.out;
    EXPECT_EQ(byPath["SAMPLE(FAT32 1)"]["label"], "SAMPLE");
    EXPECT_EQ(byPath["SAMPLE(FAT32 1)/Photos/holiday.png"]["state"], "existing");
    for (const char* p : {"Photos/_unset.png", "Documents/Old/_etter.txt", "_ost.png"})
        EXPECT_EQ(byPath[std::string("SAMPLE(FAT32 1)/") + p]["state"], "deleted") << p;
    // The pictures after the partition, listed under the node for the space outside it.
    size_t nOutside = 0;
    for (const auto& [path, e] : byPath)
        nOutside += path.rfind(std::string(KIV_NAME_OUTSIDE_PARTS) + "/", 0) == 0 && e["kind"] == "file" && e.value("state", "") == "carved";
    EXPECT_EQ(nOutside, 5u) << ls.out;

    CliRun all = Cli({"-q", "scan", Image(), "--all-candidates"});
    ASSERT_EQ(all.nExit, 0) << all.err;
    std::istringstream rows(all.out);
    std::string row;
    std::getline(rows, row);  // the header
    while (std::getline(rows, row))
        EXPECT_TRUE(row.ends_with("yes") || row.ends_with("no (candidate)")) << row;
    CliRun text = Cli({"scan", Image()});
    EXPECT_NE(text.out.find("40.00 MiB"), std::string::npos) << text.out;  // binary units, named so
    EXPECT_NE(text.err.find("48.00 MiB of 48.00 MiB"), std::string::npos) << text.err;
}

// Whatever tsk_recover gets back from the partition, undelia-cli writes byte for byte at the same
// path (deleted files included, under the same first-letter-lost names); the rest it writes too.
TEST_F(SampleImageLinux, RecoversAtLeastWhatTheSleuthKitRecovers) {
    fs::path out = fs::path(m_work) / "out";
    CliRun rec = Cli({"-q", "recover", Image(), "--to", out.string(), "--json"});
    ASSERT_EQ(rec.nExit, 0) << rec.err;
    nlohmann::json j = nlohmann::json::parse(rec.out);
    EXPECT_EQ(j["failed_files"].size(), 0u);
    EXPECT_EQ(j["damaged_files"].size(), 0u);
    if (std::system("command -v tsk_recover >/dev/null 2>&1") != 0) KIV_SKIP_MISSING_TOOL("tsk_recover not installed");
    fs::path tsk = fs::path(m_work) / "tsk";
    ASSERT_EQ(std::system(("tsk_recover -e -o 2048 '" + Image() + "' '" + tsk.string() + "' >/dev/null 2>&1").c_str()), 0);
    size_t nTsk = 0;
    for (auto& f : fs::recursive_directory_iterator(tsk)) {
        if (!f.is_regular_file()) continue;
        std::string rel = fs::relative(f.path(), tsk).string();
        EXPECT_TRUE(CliReadText((out / "SAMPLE(FAT32 1)" / rel).string()) == CliReadText(f.path().string()))
            << rel << " differs from tsk_recover's copy";
        ++nTsk;
    }
    EXPECT_EQ(nTsk, 8u);  // five live files and three deleted ones
    size_t nOurs = 0;
    for (auto& f : fs::recursive_directory_iterator(out)) nOurs += f.is_regular_file();
    EXPECT_EQ(nOurs, 13u);  // and the five pictures outside the partition
}

// Scanned with sectors larger than its volume's own, the FAT32 partition cannot be read: one line
// names the option that reads it, even when quiet.
TEST_F(SampleImageLinux, TooLargeASectorSizeNamesTheOneToScanWith) {
    CliRun r = Cli({"-q", "scan", Image(), "--sector-size", "4096"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(CliLines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("scan again with --sector-size 512"), std::string::npos) << r.err;
}

// A user at a terminal: the recovery line says how far it is and every figure is in binary units.
TEST_F(SampleImageLinux, OnATerminalTheRecoveryLineSaysHowFarInBinaryUnits) {
    CliRun r = KivRunCliOnTerminal({"recover", Image(), "--to", m_work + "/out"}, m_work);
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_NE(r.err.find("scanning 100 %"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("recovering 100 %: "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("MB/s"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(" MB"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("iB/s"), std::string::npos) << r.err;
}
