// The whole path: images made by real tools, scanned and recovered by undelia-cli, compared with
// the files that went in. Skipped when the program or the tools are not there.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "RecoverTestUtil.h"
#include "KivNeedTool.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = std::string(KIV_BIN_DIR) + "/undelia-cli";

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " > /dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& cmd) {
    int rc = std::system((cmd + " > /dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

// Every regular file below dir by its name (the last one wins when names repeat).
std::map<std::string, fs::path> FilesByName(const fs::path& dir) {
    std::map<std::string, fs::path> m;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) m[e.path().filename().string()] = e.path();
    return m;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& v) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(v.data()), v.size());
}

}  // namespace

TEST(KivRecoverEndToEndLinux, FatImageFilesComeBackByteIdentical) {
    if (!fs::exists(kCli) || !HaveTool("mkfs.fat") || !HaveTool("mcopy")) KIV_SKIP_MISSING_TOOL("needs undelia-cli, mkfs.fat, mtools");
    KivTestDir d;
    fs::path img = d.Path() / "fat.img";
    auto photo = RandomBytes(300000, 1), note = RandomBytes(1234, 2), gone = RandomBytes(70000, 3);
    WriteFile(d.Path() / "photo.jpg", photo);
    WriteFile(d.Path() / "note.txt", note);
    WriteFile(d.Path() / "gone.bin", gone);
    ASSERT_EQ(Shell("truncate -s 16M " + Q(img) + " && mkfs.fat -F 16 " + Q(img) + " && mmd -i " + Q(img) +
                  " ::/DCIM && mcopy -i " + Q(img) + " " + Q(d.Path() / "photo.jpg") + " ::/DCIM/ && mcopy -i " +
                  Q(img) + " " + Q(d.Path() / "note.txt") + " " + Q(d.Path() / "gone.bin") + " ::/ && mdel -i " +
                  Q(img) + " ::/gone.bin"),
              0);

    fs::path all = d.Path() / "all";
    ASSERT_EQ(Shell(kCli + " recover " + Q(img) + " --to " + Q(all)), 0);
    auto got = FilesByName(all);
    ASSERT_TRUE(got.count("photo.jpg"));
    ASSERT_TRUE(got.count("note.txt"));
    EXPECT_EQ(KivTestReadFile(got["photo.jpg"]), photo);
    EXPECT_EQ(got["photo.jpg"].parent_path().filename(), "DCIM");
    EXPECT_EQ(KivTestReadFile(got["note.txt"]), note);
    // The deleted file keeps its data (its first name character is lost on FAT).
    bool bDeletedFound = false;
    for (auto& [name, path] : got)
        bDeletedFound |= name.size() == 8 && name.substr(1) == "one.bin" && KivTestReadFile(path) == gone;
    EXPECT_TRUE(bDeletedFound);

    fs::path del = d.Path() / "del";
    ASSERT_EQ(Shell(kCli + " recover " + Q(img) + " --to " + Q(del) + " --deleted-only"), 0);
    auto gotDel = FilesByName(del);
    EXPECT_FALSE(gotDel.count("photo.jpg"));
    EXPECT_FALSE(gotDel.count("note.txt"));

    fs::path sel = d.Path() / "sel";
    ASSERT_EQ(Shell(kCli + " recover " + Q(img) + " --to " + Q(sel) + " --path 'DCIM/*'"), 0);
    auto gotSel = FilesByName(sel);
    EXPECT_EQ(gotSel.size(), 1u);
    EXPECT_TRUE(gotSel.count("photo.jpg"));
}

TEST(KivRecoverEndToEndLinux, CarvedFilesMatchTheImageBytes) {
    std::string script = std::string(KIV_SOURCE_DIR) + "/scripts/make-carving-image";
    if (!fs::exists(kCli) || !fs::exists(script) || !HaveTool("python3")) KIV_SKIP_MISSING_TOOL("needs undelia-cli and python3");
    KivTestDir d;
    fs::path img = d.Path() / "carve.img", manifest = d.Path() / "carve.tsv", out = d.Path() / "out";
    ASSERT_EQ(Shell("python3 " + Q(script) + " " + Q(img) + " " + Q(manifest)), 0);
    // Exit 2: the image's JPEGs (random entropy data) are reported damaged, yet written as they lie.
    ASSERT_EQ(Shell(kCli + " recover " + Q(img) + " --to " + Q(out)), 2);
    auto image = KivTestReadFile(img);
    auto got = FilesByName(out);
    std::ifstream mf(manifest);
    std::string line;
    size_t nCompared = 0;
    while (std::getline(mf, line)) {
        std::istringstream ls(line);
        uint64_t nSector, nSize;
        int nType;
        std::string name;
        if (!(ls >> nSector >> nSize >> nType >> name) || name == "-" || !got.count(name)) continue;
        ASSERT_LE(nSector * 512 + nSize, image.size());
        std::vector<uint8_t> want(image.begin() + nSector * 512, image.begin() + nSector * 512 + nSize);
        EXPECT_EQ(KivTestReadFile(got[name]), want) << name;
        ++nCompared;
    }
    EXPECT_GE(nCompared, 3u);
}
