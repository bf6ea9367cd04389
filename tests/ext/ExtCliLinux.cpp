// undelia-cli over a disk image holding an ext4 partition, every scanner running: devices lists it
// with its kind and label, recover copies its files out byte for byte under the partition's
// folder, the report keeps their times to the 100 ns a file time holds, deleted ones included.
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "ExtTestSupport.h"
#include "KivRunCommand.h"

using namespace kivext_test;
namespace fs = std::filesystem;

TEST(ExtCliLinux, DevicesListsThePartitionAndRecoverCopiesItsFilesOut) {
    KIV_NEED_EXT_TOOLS();
    TempDir t;
    WriteAt(t / "src/docs/report.bin", 0, RandomBytes(100000, 7));
    WriteAt(t / "src/a.txt", 0, {'h', 'i', '\n'});
    WriteAt(t / "src/gone.bin", 0, RandomBytes(20000, 8));
    MakeImage(t, "-t ext4 -b 1024 -L Home", "64M");
    Debugfs(t, "sif a.txt mtime 0x60406abf\nsif a.txt mtime_extra 0x1D6F3454\nrm gone.bin\n");
    fs::rename(t / "src/gone.bin", t / "gone.bin");
    // An MBR with one Linux partition at sector 2048.
    std::vector<uint8_t> mbr(2048 * 512, 0);
    mbr[446 + 4] = 0x83;
    for (int i = 0; i < 4; ++i) {
        mbr[446 + 8 + i] = uint8_t(2048u >> (8 * i));
        mbr[446 + 12 + i] = uint8_t(131072u >> (8 * i));
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    WriteAt(t / "disk", 0, mbr);
    Sh(t, "cat " + ShellQuote(t / "img") + " >> " + ShellQuote(t / "disk"));

    const std::string cli = "'" KIV_BIN_DIR "/undelia-cli' --quiet ";
    int status = -1;
    std::string dev = RunCommand(cli + "devices --json --image " + ShellQuote(t / "disk") + " 2>/dev/null", &status);
    ASSERT_EQ(status, 0) << dev;
    nlohmann::json j = nlohmann::json::parse(dev, nullptr, false);
    ASSERT_TRUE(j.is_object()) << dev;
    bool bSeen = false;
    for (const auto& p : j["partitions"])
        if (p["first_sector"] == 2048) {
            bSeen = true;
            EXPECT_EQ(p["kind"], "EXT4");
            EXPECT_EQ(p["label"], "Home");
            EXPECT_EQ(p["sectors"], 131072);
        }
    EXPECT_TRUE(bSeen) << dev;

    std::string to = t / "out", report = t / "report.json";
    std::string rec = RunCommand(cli + "recover " + ShellQuote(t / "disk") + " --to " + ShellQuote(to) + " --report " +
                                     ShellQuote(report) + " 2>&1",
                                 &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << rec;
    fs::path part = fs::path(to) / "Home(EXT4 1)";
    ASSERT_TRUE(fs::is_directory(part)) << rec;
    EXPECT_TRUE(ReadFile((part / "docs/report.bin").string()) == ReadFile(t / "src/docs/report.bin"));
    EXPECT_TRUE(ReadFile((part / "a.txt").string()) == ReadFile(t / "src/a.txt"));
    EXPECT_TRUE(ReadFile((part / "gone.bin").string()) == ReadFile(t / "gone.bin")) << "deleted, its map kept";
    struct stat st {};
    ASSERT_EQ(::stat((part / "a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 0x60406abf);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456700) << "to the 100 ns of a file time";
    std::ifstream in(report);
    nlohmann::json r = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(r.is_object()) << report;
    bool bTimed = false;
    for (const auto& f : r["files"])
        if (f["original_path"] == "a.txt") {
            bTimed = true;
            EXPECT_EQ(f["modified"], "2021-03-04T05:06:07.1234567Z");
        }
    EXPECT_TRUE(bTimed);
}
