// undelia-cli ls over a generated carving image: the program, the libraries it binds and the
// carving results seen from outside.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "KivRunCommand.h"

namespace fs = std::filesystem;

namespace {

class CmdLsLinux : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("kiv-ls-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        m_image = (m_dir / "carve.img").string();
        std::string manifest = m_image + ".tsv";
        ASSERT_EQ(std::system(("python3 '" KIV_SOURCE_DIR "/scripts/make-carving-image' '" + m_image + "' '" +
                               manifest + "'").c_str()),
                  0);
        std::ifstream in(manifest);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            uint64_t start, size;
            uint32_t type;
            std::string name;
            ls >> start >> size >> type >> name;
            if (name != "-") m_expected[name] = {start, size};
        }
    }
    void TearDown() override { fs::remove_all(m_dir); }

    nlohmann::json Ls(const std::string& args) {
        int status = -1;
        std::string out = RunCommand("'" KIV_BIN_DIR "/undelia-cli' --quiet ls " + args + " '" + m_image + "' 2>/dev/null", &status);
        EXPECT_EQ(status, 0) << out;
        return nlohmann::json::parse(out, nullptr, false);
    }

    fs::path m_dir;
    std::string m_image;
    std::map<std::string, std::pair<uint64_t, uint64_t>> m_expected;  // name -> start, size
};

}  // namespace

TEST_F(CmdLsLinux, JsonListsEveryCarvedFileWithSizeAndSector) {
    nlohmann::json j = Ls("--json");
    ASSERT_FALSE(j.is_discarded());
    std::map<std::string, nlohmann::json> files;
    for (const auto& e : j["entries"]) {
        if (e["kind"] != "file") continue;
        std::string path = e["path"];
        std::string name = path.substr(path.rfind('/') + 1);
        // The image's JPEGs carry random entropy data: carved whole, but their content does not decode.
        bool bJpeg = name.size() > 4 && name.compare(name.size() - 4, 4, ".JPG") == 0;
        EXPECT_EQ(e["state"], bJpeg ? "carved, damaged" : "carved") << name;
        files[name] = e;
    }
    EXPECT_EQ(files.size(), m_expected.size());  // the small thumbnail is not listed
    for (const auto& [name, want] : m_expected) {
        ASSERT_EQ(files.count(name), 1u) << name;
        EXPECT_EQ(files[name]["start_sector"], want.first) << name;
        EXPECT_EQ(files[name]["size"], want.second) << name;
    }
}

TEST_F(CmdLsLinux, TypesOptionLimitsTheCarvedTypes) {
    nlohmann::json j = Ls("--types png,pdf --json");
    ASSERT_FALSE(j.is_discarded());
    size_t n = 0;
    for (const auto& e : j["entries"]) {
        if (e["kind"] != "file") continue;
        std::string path = e["path"];
        EXPECT_TRUE(path.ends_with(".PNG") || path.ends_with(".PDF")) << path;
        ++n;
    }
    EXPECT_EQ(n, 3u);

    int status = -1;
    std::string text = RunCommand("'" KIV_BIN_DIR "/undelia-cli' --quiet ls --types pdf '" + m_image + "' 2>/dev/null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("  Adobe Portable Document/\n"), std::string::npos) << text;
    EXPECT_NE(text.find("FILE002.PDF  1.47 KiB  carved  sector 817"), std::string::npos) << text;
}
