// undelia-cli over the program core's views: ls --view folder|type, the result filter, and recover
// with --select, placeholder folders renamed and the destination's free-space rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "CliTestSupport.h"
#include "KivNeedTool.h"

namespace fs = std::filesystem;

namespace {

class CmdViewLinux : public ::testing::Test {
protected:
    // One sample image for the whole program: a FAT32 volume with deleted files and carved ones.
    static void SetUpTestSuite() {
        char sz[] = "/tmp/kiv-cmdview-XXXXXX";
        if (!::mkdtemp(sz)) return;
        s_dir = sz;
        std::string cmd = KIV_SOURCE_DIR "/scripts/make-sample '" + s_dir + "/sample.img' 48 >/dev/null";
        if (std::system(cmd.c_str()) == 0) s_image = s_dir + "/sample.img";
    }
    static void TearDownTestSuite() {
        if (!s_dir.empty()) fs::remove_all(s_dir);
    }
    void SetUp() override {
        if (s_image.empty()) KIV_SKIP_MISSING_TOOL("make-sample needs mkfs.fat, mtools and sfdisk");
        m_work = s_dir + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(m_work);
    }

    CliRun Cli(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        return KivRunCli(args, m_work, 0, env);
    }
    nlohmann::json Json(const std::vector<std::string>& args) {
        CliRun r = Cli(args);
        EXPECT_EQ(r.nExit, 0) << r.err;
        return nlohmann::json::parse(r.out.empty() ? "{}" : r.out);
    }
    // Files of a view listing by path, with their sizes.
    static std::map<std::string, uint64_t> Files(const nlohmann::json& j) {
        std::map<std::string, uint64_t> m;
        for (const auto& e : j["entries"])
            if (e["kind"] == "file") m[e["path"]] = e["size"];
        return m;
    }
    static std::map<std::string, uint64_t> Written(const fs::path& dir) {
        std::map<std::string, uint64_t> m;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file()) m[fs::relative(e.path(), dir).string()] = e.file_size();
        return m;
    }

    static std::string s_dir, s_image;
    std::string m_work;
};
std::string CmdViewLinux::s_dir, CmdViewLinux::s_image;

}  // namespace

TEST_F(CmdViewLinux, TypeViewShowsTheCataloguesCategoriesAndEveryFileOfTheFolderView) {
    nlohmann::json folder = Json({"-q", "ls", s_image, "--view", "folder", "--json"});
    nlohmann::json type = Json({"-q", "ls", s_image, "--view", "type", "--json"});
    EXPECT_EQ(type["view"], "type");
    std::set<std::string> top;
    for (const auto& e : type["entries"]) {
        std::string p = e["path"];
        if (p.find('/') == std::string::npos) top.insert(p);
    }
    EXPECT_TRUE(top.count("Pictures")) << type.dump();
    EXPECT_TRUE(top.count("Documents")) << type.dump();
    static const std::set<std::string> kCategories = {"Pictures", "Documents", "Archives", "Audio", "Video",
                                                      "E-mail and databases", "Design and CAD", "Others"};
    for (const std::string& t : top) EXPECT_TRUE(kCategories.count(t)) << t;

    // The same files, each under its category and extension, pointing back at its folder.
    auto folderFiles = Files(folder);
    auto typeFiles = Files(type);
    EXPECT_EQ(folderFiles.size(), typeFiles.size());
    for (const auto& e : type["entries"]) {
        if (e["kind"] != "file") continue;
        std::string source = e["source"];
        ASSERT_TRUE(folderFiles.count(source)) << source;
        EXPECT_EQ(folderFiles[source], e["size"].get<uint64_t>());
    }
}

TEST_F(CmdViewLinux, FolderViewGathersPlaceholdersUnderUnknownPath) {
    nlohmann::json folder = Json({"-q", "ls", s_image, "--view", "folder", "--json"});
    size_t nCarved = 0;
    for (const auto& e : folder["entries"]) {
        std::string p = e["path"];
        EXPECT_EQ(p.find('{'), std::string::npos) << p;
        if (e["kind"] == "file" && e["state"] == "carved") {
            ++nCarved;
            EXPECT_NE(p.find("/Unknow path/Type Scan/"), std::string::npos) << p;
        }
    }
    EXPECT_GE(nCarved, 1u);
    CliRun text = Cli({"ls", s_image, "--view", "folder"});
    EXPECT_EQ(text.nExit, 0);
    EXPECT_NE(text.out.find("Unknow path/\n"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find('{'), std::string::npos) << text.out;
}

TEST_F(CmdViewLinux, FilterOptionsKeepOnlyWhatPassesAndRefuseWhatCannotBeRead) {
    auto big = Files(Json({"-q", "ls", s_image, "--larger-than", "70K", "--json"}));
    ASSERT_FALSE(big.empty());
    for (const auto& [path, size] : big) EXPECT_GT(size, 70u * 1024) << path;
    // Both ends of the size, and the name without regard to case.
    auto named = Files(Json({"-q", "ls", s_image, "--name", "HOLI", "--smaller-than", "1M", "--json"}));
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named.begin()->first, "holiday.png");
    // Carved files have no times: a modification range keeps only files of the file system.
    auto dated = Json({"-q", "ls", s_image, "--modified", "1990-01-01..", "--json"});
    ASSERT_FALSE(Files(dated).empty());
    for (const auto& e : dated["entries"]) EXPECT_NE(e["state"], "carved") << e.dump();
    CliRun none = Cli({"-q", "ls", s_image, "--modified", "..1990-01-01"});
    EXPECT_EQ(none.nExit, 0);
    EXPECT_NE(none.err.find("no file passes the filter"), std::string::npos) << none.err;

    for (std::vector<std::string> bad : {std::vector<std::string>{"--larger-than", "7x"},
                                         {"--smaller-than", "-1"},
                                         {"--created", "2024-13-01.."},
                                         {"--modified", "2024-02-01..2024-01-01"},
                                         {"--view", "tree"}}) {
        std::vector<std::string> args = {"ls", s_image};
        args.insert(args.end(), bad.begin(), bad.end());
        CliRun r = Cli(args);
        EXPECT_EQ(r.nExit, 1) << bad[0] << " " << bad[1];
        EXPECT_EQ(CliLines(r.err), 1u) << r.err;
        EXPECT_EQ(r.err.find("scanned"), std::string::npos) << "refused before the scan: " << r.err;
    }
}

TEST_F(CmdViewLinux, RecoverTheSelectionOfAViewWithReadableFolderNames) {
    nlohmann::json type = Json({"-q", "ls", s_image, "--view", "type", "--json"});
    std::map<std::string, uint64_t> png;  // by the folder-view path
    for (const auto& e : type["entries"])
        if (e["kind"] == "file" && std::string(e["path"]).rfind("Pictures/png/", 0) == 0) png[e["source"]] = e["size"];
    ASSERT_GE(png.size(), 2u);

    fs::path out = fs::path(m_work) / "out";
    CliRun r = Cli({"recover", s_image, "--to", out.string(), "--view", "type", "--select", "pictures/PNG/*", "--json"});
    ASSERT_EQ(r.nExit, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["selected"], png.size());
    EXPECT_EQ(j["files_written"], png.size());
    EXPECT_EQ(j["bytes"], j["bytes_selected"]);
    EXPECT_NE(r.err.find("selected " + std::to_string(png.size()) + " files"), std::string::npos) << r.err;

    // Written where the folder view has them: the carved ones under "Unknow path/Type Scan".
    auto written = Written(out);
    EXPECT_EQ(written.size(), png.size());
    size_t nCarved = 0;
    for (const auto& [path, size] : written) {
        EXPECT_EQ(path.find('{'), std::string::npos) << path;
        ASSERT_TRUE(png.count(path)) << path;
        EXPECT_EQ(png[path], size) << path;
        nCarved += path.find("/Unknow path/Type Scan") != std::string::npos;
    }
    EXPECT_GE(nCarved, 1u);
    uint64_t nBytes = 0;
    for (const auto& [path, size] : written) nBytes += size;
    EXPECT_EQ(j["bytes"].get<uint64_t>(), nBytes);
}

TEST_F(CmdViewLinux, TooLittleFreeSpaceIsRefusedUnlessForced) {
    fs::path out = fs::path(m_work) / "out";
    fs::create_directories(out);
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    std::vector<std::string> env = {"LD_PRELOAD=" KIV_BIN_DIR "/kiv_full_disk_shim.so",
                                    "KIV_SHIM_FULL_DIR=" + out.string(), "KIV_SHIM_FULL_AFTER=100000000",
                                    "KIV_SHIM_FREE_BYTES=200000", "ASAN_OPTIONS=" + asan + ":verify_asan_link_order=0"};
    CliRun refused = Cli({"-q", "recover", s_image, "--to", out.string()}, env);
    EXPECT_EQ(refused.nExit, 1) << refused.err;
    EXPECT_NE(refused.err.find("free space"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("0x0000000F)"), refused.err.find("code 0x0000000F)")) << "a code only in brackets";
    EXPECT_TRUE(fs::is_empty(out));

    CliRun forced = Cli({"-q", "recover", s_image, "--to", out.string(), "--force", "--json"}, env);
    EXPECT_EQ(forced.nExit, 0) << forced.err;
    nlohmann::json j = nlohmann::json::parse(forced.out);
    EXPECT_EQ(j["files_written"], j["selected"]);
    EXPECT_GT(j["bytes"].get<uint64_t>(), 200000u);
}
