// undelia-cli over an exFAT card image, every scanner running: the volume with its label, and files
// recovered byte-identical under their folders, the deleted ones included.
#include <unistd.h>

#include "ExFatTestSupport.h"
#include "KivRunCommand.h"

using namespace kivexfat_test;
namespace fs = std::filesystem;

TEST(ExFatCli, LsShowsTheCardWithItsLabelAndRecoverCopiesItsFilesOut) {
    ASSERT_FALSE(ImageDir().empty());
    std::string img = ImageDir() + "/card.img";
    const std::string cli = "'" KIV_BIN_DIR "/undelia-cli' --quiet ";
    int status = -1;
    std::string ls = RunCommand(cli + "ls '" + img + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << ls;
    EXPECT_NE(ls.find("SDXC(exFAT 1)  [exFAT]  label \"SDXC\""), std::string::npos) << ls;
    EXPECT_NE(ls.find("DSC00003.JPG"), std::string::npos) << ls;

    fs::path to = fs::temp_directory_path() / ("undelia-exfat-cli-" + std::to_string(::getpid()));
    std::string rec = RunCommand(cli + "recover '" + img + "' --to '" + to.string() + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << rec;
    nlohmann::json man = Manifest("card");
    for (const auto& e : man["entries"]) {
        if (e["dir"]) continue;
        std::string path = e["path"];
        fs::path got;
        for (const auto& f : fs::recursive_directory_iterator(to))
            if (f.path().string().ends_with("/" + path)) got = f.path();
        ASSERT_FALSE(got.empty()) << path << " not recovered:\n" << rec;
        EXPECT_TRUE(ReadFile(got) == ReadFile(ImageDir() + "/src/card/" + path)) << path;
    }
    fs::remove_all(to);
}
