// undelia-cli over an exFAT card image, every scanner running: the volume with its label, and files
// recovered byte-identical under their folders, the deleted ones included, files and folders with
// their times.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>

#include "ExFatTestSupport.h"
#include "KivRunCommand.h"

using namespace kivexfat_test;
namespace fs = std::filesystem;

TEST(ExFatCliLinux, LsShowsTheCardWithItsLabelAndRecoverCopiesItsFilesOut) {
    ASSERT_FALSE(ImageDir().empty());
    std::string img = ImageDir() + "/card.img";
    const std::string cli = "'" KIV_BIN_DIR "/undelia-cli' --quiet ";
    int status = -1;
    std::string ls = RunCommand(cli + "ls '" + img + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << ls;
    EXPECT_NE(ls.find("SDXC(exFAT 1)  [exFAT]  label \"SDXC\""), std::string::npos) << ls;
    EXPECT_NE(ls.find("DSC00003.JPG"), std::string::npos) << ls;
    // The exFAT scanner's own counts never pass for another sector size to scan with.
    EXPECT_EQ(ls.find("--sector-size"), std::string::npos) << ls;

    fs::path to = fs::temp_directory_path() / ("undelia-exfat-cli-" + std::to_string(::getpid()));
    std::string report = to.string() + ".json";
    std::string rec = RunCommand(cli + "recover '" + img + "' --to '" + to.string() + "' --report '" + report + "' 2>&1",
                                 &status);
    EXPECT_EQ(status, 0) << rec;
    nlohmann::json man = Manifest("card");
    fs::path part = to / "SDXC(exFAT 1)";
    std::map<std::string, double> mtimes;
    for (const auto& e : man["entries"]) {
        std::string path = e["path"];
        if (e.contains("mtime")) mtimes[path] = e["mtime"];
        if (e["dir"]) {
            // Folders get their times once their files are written, as files do.
            struct stat st {};
            ASSERT_EQ(::stat((part / path).c_str(), &st), 0) << path << " not recovered:\n" << rec;
            EXPECT_NEAR(st.st_mtim.tv_sec + st.st_mtim.tv_nsec / 1e9, double(e["mtime"]), 0.004) << path;
            continue;
        }
        fs::path got;
        for (const auto& f : fs::recursive_directory_iterator(to))
            if (f.path().string().ends_with("/" + path)) got = f.path();
        ASSERT_FALSE(got.empty()) << path << " not recovered:\n" << rec;
        EXPECT_TRUE(ReadFile(got) == ReadFile(ImageDir() + "/src/card/" + path)) << path;
    }
    // The report keeps exFAT's hundredths of a second.
    std::ifstream in(report);
    nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(j.is_object()) << report;
    size_t nTimed = 0;
    for (const auto& f : j["files"]) {
        auto it = mtimes.find(f["original_path"].get<std::string>());
        if (it == mtimes.end()) continue;
        auto nCs = static_cast<long long>(std::llround(it->second * 100));
        time_t t = static_cast<time_t>(nCs / 100);
        struct tm tmv {};
        ::gmtime_r(&t, &tmv);
        char sz[40];
        std::strftime(sz, sizeof sz, "%Y-%m-%dT%H:%M:%S", &tmv);
        std::string want = sz;
        if (nCs % 100) {
            std::snprintf(sz, sizeof sz, ".%02lld", nCs % 100);
            want += nCs % 10 ? sz : std::string(sz, 2);
        }
        EXPECT_EQ(f["modified"], want + "Z") << f["original_path"];
        ++nTimed;
    }
    EXPECT_GE(nTimed, 4u);
    fs::remove_all(to);
    fs::remove(report);
}

// The camera's own card after deletions: every deleted file and folder whose clusters are still
// free comes back byte-identical under its former path; the one whose clusters another file took
// is written but reported damaged with the reason, and the run ends with exit 2.
TEST(ExFatCliLinux, DeletedFilesComeBackAndTheOverwrittenOneIsReportedDamaged) {
    ASSERT_FALSE(ImageDir().empty());
    std::string img = ImageDir() + "/live.img";
    fs::path to = fs::temp_directory_path() / ("undelia-exfat-live-" + std::to_string(::getpid()));
    int status = -1;
    std::string rec = RunCommand("'" KIV_BIN_DIR "/undelia-cli' -q recover '" + img + "' --to '" + to.string() + "' 2>&1",
                                 &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << rec;
    fs::path part = to / "CAMERA(exFAT 1)";
    ASSERT_TRUE(fs::is_directory(part)) << rec;
    size_t nDeleted = 0, nLongest = 0;
    nlohmann::json man = Manifest("live");
    for (const auto& e : man["entries"]) {
        if (e["dir"]) continue;
        std::string path = e["path"];
        SCOPED_TRACE(path);
        if (e["damaged"]) {
            EXPECT_NE(rec.find("damaged: " + (part / path).string() + ": its clusters were reused by another file"),
                      std::string::npos)
                << rec;
            continue;
        }
        // Every name fits the destination's 255 bytes whole, the 255-character one too.
        fs::path written = part / path;
        EXPECT_TRUE(fs::is_regular_file(written)) << rec;
        EXPECT_TRUE(ReadFile(written) == ReadFile(ImageDir() + "/src/live/" + path));
        nLongest = std::max(nLongest, written.filename().string().size());
        nDeleted += e["deleted"].get<bool>();
    }
    EXPECT_GE(nDeleted, 5u);
    EXPECT_EQ(nLongest, 255u);
    EXPECT_EQ(rec.find("failed: "), std::string::npos) << rec;
    fs::remove_all(to);
}
