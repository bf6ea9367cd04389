// undelia-cli on failing media. A test-only LD_PRELOAD library makes reads of chosen byte ranges of
// an image fail with EIO, as a damaged disk does; the images themselves stay intact, so what comes
// back is compared byte for byte with what was written. Whatever the damage, every file written
// must be what the medium holds, or be reported damaged with exactly the ranges that are zeros.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "KivNeedTool.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CliRun {
    int nExit = -1;
    std::string out, err;
    std::map<std::string, uint64_t> stats;  // reads, failed, bytes of the image
};

struct Range {
    uint64_t nFirst, nEnd;  // bytes, [nFirst, nEnd)
};

class FailingMediaLinux : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char sz[] = "/tmp/kiv-failing-XXXXXX";
        ASSERT_NE(::mkdtemp(sz), nullptr);
        s_dir = sz;
        std::string cmd = std::string(KIV_SOURCE_DIR "/scripts/make-damaged-images '") + s_dir + "' >/dev/null 2>&1";
        s_bImages = std::system(cmd.c_str()) == 0;
        if (s_bImages) s_fat = Slurp(s_dir + "/fat.img");
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }
    void SetUp() override {
        if (!s_bImages) KIV_SKIP_MISSING_TOOL("make-damaged-images needs mkfs.fat and mtools");
        m_work = s_dir + "/run-" + std::to_string(++s_nRun);
        fs::create_directories(m_work);
    }

    // Runs undelia-cli with reads of `bad` in `image` failing.
    CliRun Cli(const std::vector<std::string>& args, const std::string& image = {}, const std::vector<Range>& bad = {},
            const char* pszProgram = KIV_BIN_DIR "/undelia-cli") {
        std::string outPath = m_work + "/stdout", errPath = m_work + "/stderr", statPath = m_work + "/stats";
        std::string ranges;
        for (const Range& r : bad) ranges += (ranges.empty() ? "" : ",") + std::to_string(r.nFirst) + "-" + std::to_string(r.nEnd);
        fs::remove(statPath);
        pid_t pid = ::fork();
        if (pid == 0) {
            int fo = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int fe = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fo, 1);
            ::dup2(fe, 2);
            if (!image.empty()) {
                ::setenv("LD_PRELOAD", KIV_FAULT_SHIM, 1);
                ::setenv("KIV_FAULT_FILE", image.c_str(), 1);
                ::setenv("KIV_FAULT_RANGES", ranges.c_str(), 1);
                ::setenv("KIV_FAULT_STATS", statPath.c_str(), 1);
                // A sanitized program wants its runtime first; the shim comes before it here.
                std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
                ::setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
            }
            std::vector<char*> argv{const_cast<char*>(pszProgram)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        CliRun r;
        r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = Slurp(outPath);
        r.err = Slurp(errPath);
        std::istringstream st(Slurp(statPath));
        for (std::string k; st >> k;) st >> r.stats[k];
        return r;
    }

    // Recovers fat.img (or another image) with `bad` failing; answers the JSON summary.
    nlohmann::json Recover(const std::vector<Range>& bad, const std::string& image, CliRun* pRun = nullptr,
                           std::vector<std::string> extra = {}) {
        std::string to = m_work + "/out";
        std::vector<std::string> args{"recover", image, "--to", to, "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        CliRun r = Cli(args, image, bad);
        if (pRun) *pRun = r;
        EXPECT_NE(r.nExit, 1) << r.err;
        try {
            return nlohmann::json::parse(r.out);
        } catch (...) {
            ADD_FAILURE() << "no JSON: " << r.out << r.err;
            return {};
        }
    }

    // Where the first bytes of a source file lie in fat.img.
    static uint64_t OffsetOf(const std::string& rel) {
        std::string head = Slurp(s_dir + "/src/fat/" + rel).substr(0, 256);
        size_t at = s_fat.find(head);
        EXPECT_NE(at, std::string::npos) << rel;
        return at;
    }
    // The sector of a directory entry, found through letters of its long name (UTF-16, stored
    // together in one long-name slot) that no other name has.
    static uint64_t EntrySector(const std::string& letters) {
        std::string u16;
        for (char c : letters) u16 += c, u16 += '\0';
        size_t at = s_fat.find(u16);
        EXPECT_NE(at, std::string::npos) << letters;
        return at / 512;
    }

    // Compares every source file with what came back under `top`: at its own path, or by its name
    // elsewhere (a file whose folder's record is lost comes back in the lost-folder container).
    struct Outcome {
        std::vector<std::string> identical, missing, wrong;
        size_t nElsewhere = 0;
    };
    Outcome Compare(const std::string& srcRoot, const std::string& top, const nlohmann::json& j) {
        std::map<std::string, std::vector<Range>> damaged;
        for (const auto& d : j["damaged_files"]) {
            auto& v = damaged[fs::path(d["path"].get<std::string>()).lexically_relative(top).string()];
            for (const auto& r : d["zero_ranges"]) v.push_back({r[0].get<uint64_t>(), r[1].get<uint64_t>()});
        }
        Outcome o;
        std::map<std::string, fs::path> byName;
        if (!top.empty())
            for (const auto& e : fs::recursive_directory_iterator(top))
                if (e.is_regular_file()) byName[e.path().filename().string()] = e.path();
        for (const auto& e : fs::recursive_directory_iterator(srcRoot)) {
            if (!e.is_regular_file()) continue;
            std::string rel = fs::relative(e.path(), srcRoot).string();
            fs::path got = fs::path(top) / rel;
            if (!fs::exists(got)) {
                auto found = byName.find(e.path().filename().string());
                if (found == byName.end()) {
                    o.missing.push_back(rel);
                    continue;
                }
                got = found->second;
                ++o.nElsewhere;
            }
            std::string want = Slurp(e.path()), have = Slurp(got);
            auto it = damaged.find(fs::path(got).lexically_relative(top).string());
            if (it == damaged.end()) {
                (have == want ? o.identical : o.wrong).push_back(rel);
                continue;
            }
            // A damaged file holds zeros in its ranges and the medium's bytes everywhere else.
            bool bOk = have.size() == want.size();
            for (size_t i = 0; bOk && i < have.size(); ++i) {
                bool bLost = std::any_of(it->second.begin(), it->second.end(),
                                         [i](const Range& r) { return i >= r.nFirst && i < r.nEnd; });
                bOk = bLost ? have[i] == 0 : have[i] == want[i];
            }
            if (!bOk) o.wrong.push_back(rel + " (outside its reported ranges)");
        }
        return o;
    }
    static std::string Top(const nlohmann::json& j) {
        return j.contains("folders") && !j["folders"].empty() ? j["folders"][0].get<std::string>() : "";
    }

    static std::string s_dir;
    static std::string s_fat;
    static bool s_bImages;
    static int s_nRun;
    std::string m_work;
};

std::string FailingMediaLinux::s_dir;
std::string FailingMediaLinux::s_fat;
bool FailingMediaLinux::s_bImages = false;
int FailingMediaLinux::s_nRun = 0;

constexpr size_t kFatFiles = 360;

TEST_F(FailingMediaLinux, UnreadableSectorOfTheFirstFatComesFromTheSecond) {
    const std::string img = s_dir + "/fat.img";
    const uint8_t* b = reinterpret_cast<const uint8_t*>(s_fat.data());
    uint64_t reserved = b[14] | b[15] << 8;
    uint64_t fat1 = reserved * 512;
    // 4 KiB in the part of the first copy the files' chains use.
    nlohmann::json j = Recover({{fat1 + 8192, fat1 + 12288}}, img);
    EXPECT_EQ(j["files_written"], kFatFiles);
    EXPECT_EQ(j["damaged"], 0);
    Outcome o = Compare(s_dir + "/src/fat", Top(j), j);
    EXPECT_EQ(o.identical.size(), kFatFiles);
    EXPECT_TRUE(o.wrong.empty()) << o.wrong[0];

    CliRun scan = Cli({"scan", img}, img, {{fat1 + 8192, fat1 + 12288}});
    EXPECT_EQ(scan.nExit, 0);
    EXPECT_NE(scan.err.find("8 sectors could not be read, 0 skipped untried"), std::string::npos) << scan.err;
}

TEST_F(FailingMediaLinux, UnreadableDirectorySectorCostsOnlyItsEntries) {
    const std::string img = s_dir + "/fat.img";
    uint64_t sector = EntrySector("07-010");  // letters 6 to 11 of "file 07-010.bin"
    nlohmann::json j = Recover({{sector * 512, sector * 512 + 512}}, img);
    Outcome o = Compare(s_dir + "/src/fat", Top(j), j);
    EXPECT_TRUE(o.wrong.empty()) << o.wrong[0];
    EXPECT_FALSE(o.missing.empty());
    EXPECT_LE(o.missing.size(), 8u);  // a sector holds 16 slots, two per file
    for (const std::string& m : o.missing) EXPECT_EQ(m.rfind("folder07/", 0), 0u) << m;
    EXPECT_EQ(o.identical.size() + o.missing.size(), kFatFiles);
}

TEST_F(FailingMediaLinux, UnreadableSectorsInAFileCostOnlyThatFileWithItsRangesReported) {
    const std::string img = s_dir + "/fat.img";
    const std::string rel = "folder05/file 05-004.bin";
    uint64_t size = fs::file_size(s_dir + "/src/fat/" + rel);
    ASSERT_GT(size, 12288u) << "the test wants a file of three clusters or more";
    uint64_t at = OffsetOf(rel);
    CliRun r;
    nlohmann::json j = Recover({{at + 2048, at + 2048 + 8192}}, img, &r);
    EXPECT_EQ(j["files_written"], kFatFiles);
    EXPECT_EQ(j["damaged"], 1);
    ASSERT_EQ(j["damaged_files"].size(), 1u);
    const auto& d = j["damaged_files"][0];
    EXPECT_EQ(d["zero_ranges"], nlohmann::json::parse("[[2048, 10240]]"));
    EXPECT_EQ(d["unreadable_bytes"], 8192);
    Outcome o = Compare(s_dir + "/src/fat", Top(j), j);
    EXPECT_TRUE(o.wrong.empty()) << o.wrong[0];
    EXPECT_EQ(o.identical.size(), kFatFiles - 1);
    // One line per damaged file says where the zeros are.
    CliRun human = Cli({"recover", img, "--to", m_work + "/human"}, img, {{at + 2048, at + 2048 + 8192}});
    EXPECT_NE(human.err.find("file 05-004.bin: unreadable sectors written as zeros: bytes 2048-10239 (8192 bytes)"),
              std::string::npos)
        << human.err;
}

TEST_F(FailingMediaLinux, ALargeBadRegionCostsBoundedReads) {
    const std::string img = s_dir + "/fat.img";
    CliRun clean = Cli({"scan", img, "--json"}, img, {});
    ASSERT_EQ(clean.nExit, 0) << clean.err;
    Range region{40ull << 20, 90ull << 20};  // 50 MiB of free space
    CliRun bad = Cli({"scan", img, "--json"}, img, {region});
    ASSERT_EQ(bad.nExit, 0) << bad.err;
    // A few hundred reads more, not one per sector (102,400 sectors).
    // Each crowd of failures costs about 130 reads and writes off at least 10 MiB.
    EXPECT_LT(bad.stats["reads"], clean.stats["reads"] + 1200) << bad.err;
    EXPECT_LT(bad.stats["failed"], 1000u);
    nlohmann::json a = nlohmann::json::parse(clean.out), b = nlohmann::json::parse(bad.out);
    EXPECT_EQ(a["partitions"], b["partitions"]);
    uint64_t nFailed = b["unreadable"]["failed_sectors"], nUntried = b["unreadable"]["untried_sectors"];
    EXPECT_GE(nFailed + nUntried, 102400u);
    EXPECT_GT(nUntried, 90000u);
    // Every file lies before the region: all come back.
    nlohmann::json j = Recover({region}, img);
    EXPECT_EQ(Compare(s_dir + "/src/fat", Top(j), j).identical.size(), kFatFiles);
}

TEST_F(FailingMediaLinux, ScatteredBadSectorsAcrossAnNtfsVolume) {
    if (fs::exists(s_dir + "/nofuse")) GTEST_SKIP() << "no FUSE mount for ntfs-3g here";
    const std::string img = s_dir + "/ntfs.img";
    std::mt19937_64 rng(2024);
    std::vector<Range> bad;
    for (int i = 0; i < 1000; ++i) {
        uint64_t s = rng() % (64ull << 11);
        bad.push_back({s * 512, s * 512 + 512});
    }
    CliRun r;
    nlohmann::json j = Recover(bad, img, &r);
    Outcome o = Compare(s_dir + "/src/ntfs", Top(j), j);
    EXPECT_TRUE(o.wrong.empty()) << o.wrong[0];
    // About 0.8 % of the sectors fail: a file is lost only with its own record (2 of 2,048
    // sectors hold one), one whose folder's record is lost comes back in the lost-folder container.
    EXPECT_LE(o.missing.size(), 15u);
    EXPECT_GE(j["damaged"].get<int>(), 1);
    EXPECT_GE(o.identical.size(), 230u);
    EXPECT_LT(r.stats["failed"], 40000u);
}

TEST_F(FailingMediaLinux, DdrescueMapfilesAreReadAndWrittenBack) {
    if (std::system("command -v ddrescue >/dev/null 2>&1") != 0) KIV_SKIP_MISSING_TOOL("GNU ddrescue is not installed");
    const std::string src = s_dir + "/fat.img";
    const std::string rel = "folder02/file 02-004.bin";
    uint64_t at = OffsetOf(rel);
    uint64_t size = fs::file_size(s_dir + "/src/fat/" + rel);
    ASSERT_GT(size, 4096u);
    // ddrescue images the failing medium: the file's second KiB and one sector far away are lost.
    const std::string copy = m_work + "/rescued.img", map = m_work + "/rescued.map";
    std::vector<Range> lost{{at + 1024, at + 2048}, {70ull << 20, (70ull << 20) + 512}};
    CliRun dd = Cli({"-q", "-b", "512", src, copy, map}, src, lost, "ddrescue");
    ASSERT_EQ(dd.nExit, 0) << dd.err;
    std::string original = Slurp(map);
    auto body = [](const std::string& text) {  // the lines ddrescue reads, comments left out
        std::string out, line;
        std::istringstream in(text);
        while (std::getline(in, line))
            if (!line.empty() && line[0] != '#') out += line + "\n";
        return out;
    };
    ASSERT_NE(body(original).find("  -\n"), std::string::npos) << original;

    // Recovered from the image with its mapfile: the zeros ddrescue left are not taken as data.
    nlohmann::json j = Recover({}, copy, nullptr, {"--badmap", map});
    ASSERT_EQ(j["damaged_files"].size(), 1u) << j.dump();
    EXPECT_EQ(j["damaged_files"][0]["zero_ranges"], nlohmann::json::parse("[[1024, 2048]]"));
    Outcome o = Compare(s_dir + "/src/fat", Top(j), j);
    EXPECT_TRUE(o.wrong.empty()) << o.wrong[0];
    EXPECT_EQ(o.identical.size(), kFatFiles - 1);
    // Nothing else failed, so the mapfile is written back as it was.
    EXPECT_EQ(body(Slurp(map)), body(original));

    // A scan of the failing medium itself writes what it could not read.
    const std::string fresh = m_work + "/fresh.map";
    CliRun scan = Cli({"scan", src, "--badmap", fresh}, src, lost);
    ASSERT_EQ(scan.nExit, 0) << scan.err;
    std::string text = Slurp(fresh);
    char want[160];
    std::snprintf(want, sizeof want, "0x%08llX  0x00000400  -\n", static_cast<unsigned long long>(at + 1024));
    EXPECT_NE(text.find(want), std::string::npos) << text;
    EXPECT_NE(text.find("0x04600000  0x00000200  -\n"), std::string::npos) << text;
    if (std::system("command -v ddrescuelog >/dev/null 2>&1") == 0) {
        CliRun check = Cli({"-t", fresh}, {}, {}, "ddrescuelog");
        EXPECT_EQ(check.nExit, 0) << check.err;
        size_t line = check.out.find("bad-sector:");
        ASSERT_NE(line, std::string::npos) << check.out;
        EXPECT_NE(check.out.substr(line, check.out.find('\n', line) - line).find(" 1536 B"), std::string::npos)
            << check.out;
    }
    // A mapfile that is not one is refused before any work.
    std::ofstream(m_work + "/junk.map") << "hello\n";
    CliRun junk = Cli({"scan", src, "--badmap", m_work + "/junk.map"});
    EXPECT_EQ(junk.nExit, 1);
    EXPECT_NE(junk.err.find("line 1"), std::string::npos) << junk.err;
}

}  // namespace

// The recovery report names the sectors that could not be read, in the device's own numbering
// and as the recovery left them, and the file they cost as damaged with its reason.
TEST_F(FailingMediaLinux, ReportListsTheBadAreasAndTheFileTheyDamaged) {
    const std::string img = s_dir + "/fat.img";
    uint64_t at = OffsetOf("folder05/file 05-004.bin");
    Range bad{at + 2048, at + 2048 + 8192};
    const std::string json = m_work + "/report.json";
    nlohmann::json j = Recover({bad}, img, nullptr, {"--report", json});
    EXPECT_EQ(j["damaged"], 1);
    nlohmann::json rep = nlohmann::json::parse(Slurp(json));
    ASSERT_EQ(rep["bad_areas"].size(), 1u) << rep["bad_areas"].dump();
    EXPECT_EQ(rep["bad_areas"][0], nlohmann::json({{"first_sector", bad.nFirst / 512}, {"sectors", 16}, {"kind", "failed"}}));
    EXPECT_EQ(rep["totals"]["damaged"], 1);
    for (const auto& f : rep["files"]) {
        bool bThat = f["output"].get<std::string>().find("file 05-004.bin") != std::string::npos;
        EXPECT_EQ(f["damaged"].get<bool>(), bThat) << f["output"];
        if (bThat) {
            EXPECT_NE(f["reason"], "");
        }
    }

    // A large bad region in free space: the scan's probes write most of it off untried, and the
    // recovery, which reads only files, leaves it so. Every sector listed as failed lies inside the
    // region; the untried ones start in it (the probes may write off a little past its end).
    Range region{40ull << 20, 90ull << 20};
    const std::string xml = m_work + "/report.xml";
    CliRun r = Cli({"recover", img, "--to", m_work + "/out2", "--report", xml}, img, {region});
    EXPECT_EQ(r.nExit, 0) << r.err;
    std::string dfxml = Slurp(xml);
    std::regex area(R"re(<undelia:bad_area first_sector="(\d+)" sectors="(\d+)" kind="(\w+)"/>)re");
    std::set<std::string> kinds;
    uint64_t nSectors = 0;
    for (std::sregex_iterator it(dfxml.begin(), dfxml.end(), area), end; it != end; ++it) {
        uint64_t first = std::stoull((*it)[1]), count = std::stoull((*it)[2]);
        EXPECT_GE(first, region.nFirst / 512);
        if ((*it)[3] == "failed") {
            EXPECT_LE(first + count, region.nEnd / 512);
        } else {
            EXPECT_LT(first, region.nEnd / 512);
        }
        kinds.insert((*it)[3]);
        nSectors += count;
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"failed", "untried"})) << dfxml.substr(0, 2000);
    EXPECT_GT(nSectors, (region.nEnd - region.nFirst) / 512 / 2);
}
