// undelia-cli devices and --disk / --part / --image: the lists as JSON, bad choices, and a scan of
// a partition chosen by index against a scan of the same partition cut out with dd.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "KivTestImages.h"

namespace fs = std::filesystem;

namespace {

struct CliOut {
    int nExit = -1;
    std::string out, err;
};

class CmdDevicesLinux : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("kiv-devices-" + std::to_string(::getpid()));
        fs::create_directories(m_dir / "sys");
        m_images = KivTestImageDir("make-disk-images", "disk-test-images");
        ASSERT_FALSE(m_images.empty());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs the program with an empty system view, so the machine's own disks never take part.
    CliOut Cli(const std::string& args) {
        std::string sys = (m_dir / "sys").string();
        std::string cmd = "UNDELIA_SYSFS_ROOT='" + sys + "' UNDELIA_DEV_ROOT='" + sys + "' UNDELIA_MOUNTINFO='" + sys +
                          "/none' '" KIV_BIN_DIR "/undelia-cli' " + args + " 2>'" + (m_dir / "err").string() + "'";
        CliOut r;
        FILE* p = ::popen(cmd.c_str(), "r");
        std::array<char, 4096> buf;
        for (size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;) r.out.append(buf.data(), n);
        int status = ::pclose(p);
        r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream e(m_dir / "err");
        r.err.assign(std::istreambuf_iterator<char>(e), {});
        return r;
    }
    std::string Img(const char* name) const { return m_images + "/" + name; }

    fs::path m_dir;
    std::string m_images;
};

}  // namespace

TEST_F(CmdDevicesLinux, NoReadableDisksGiveEmptyLists) {
    CliOut r = Cli("devices --json");
    EXPECT_EQ(r.nExit, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_TRUE(j["disks"].empty());
    EXPECT_TRUE(j["partitions"].empty());
    EXPECT_TRUE(j["problems"].empty());
    CliOut table = Cli("devices");
    EXPECT_EQ(table.nExit, 0);
    EXPECT_NE(table.out.find("(none readable)"), std::string::npos) << table.out;
}

TEST_F(CmdDevicesLinux, ImagesListTheirPartitions) {
    CliOut r = Cli("devices --json --image '" + Img("mbr.img") + "' --image '" + Img("gpt.img") + "' --image '" +
                Img("stick.img") + "'");
    ASSERT_EQ(r.nExit, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["disks"].size(), 3u);
    EXPECT_EQ(j["disks"][0]["kind"], "image");
    EXPECT_EQ(j["disks"][1]["sectors"], 131072);
    // The layout the image script wrote: image, first sector, table sectors, label.
    std::ifstream layout(m_images + "/layout.txt");
    std::vector<std::tuple<std::string, uint64_t, uint64_t, std::string>> want;
    for (std::string img, label; layout >> img;) {
        uint64_t first = 0, count = 0;
        layout >> first >> count >> label;
        if (img == "disk4k.img" || label == "HIDDEN") continue;  // another sector size; an unknown GPT type
        want.emplace_back(img, first, count, label);
    }
    const auto& parts = j["partitions"];
    ASSERT_EQ(parts.size(), want.size());
    const std::map<std::string, int> disk{{"mbr.img", 0}, {"gpt.img", 1}, {"stick.img", 2}};
    for (size_t i = 0; i < want.size(); ++i) {
        auto& [img, first, count, label] = want[i];
        SCOPED_TRACE(label);
        EXPECT_EQ(parts[i]["index"], i);
        EXPECT_EQ(parts[i]["disk"], disk.at(img));
        EXPECT_EQ(parts[i]["first_sector"], first);
        EXPECT_EQ(parts[i]["label"], label);
        bool bNtfs = label == "PRIMNTFS" || label == "LOGIC3" || label == "GPTNTFS";
        EXPECT_EQ(parts[i]["kind"], bNtfs ? "NTFS" : label == "PRIMFAT" || label == "LOGIC2" ? "FAT16" : "FAT32");
        // An NTFS counts its sectors without the backup boot sector at its end.
        EXPECT_EQ(parts[i]["sectors"], count - (bNtfs ? 1 : 0));
        EXPECT_EQ(parts[i]["size"], (count - (bNtfs ? 1 : 0)) * 512);
    }
    EXPECT_EQ(parts[2]["table"], "EBR");
    EXPECT_EQ(parts.back()["table"], "none");

    CliOut k4 = Cli("devices --json --sector-size 4096 --image '" + Img("disk4k.img") + "'");
    ASSERT_EQ(k4.nExit, 0) << k4.err;
    nlohmann::json j4 = nlohmann::json::parse(k4.out);
    ASSERT_EQ(j4["partitions"].size(), 2u);
    EXPECT_EQ(j4["partitions"][0]["label"], "FAT4K");
    EXPECT_EQ(j4["partitions"][0]["size"], 4096 * 4096);
    EXPECT_EQ(j4["partitions"][1]["kind"], "NTFS");

    CliOut missing = Cli("devices --image '" + (m_dir / "missing.img").string() + "'");
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

TEST_F(CmdDevicesLinux, ChoosingByIndex) {
    const std::string mbr = "--image '" + Img("mbr.img") + "'";
    for (const std::string& bad : std::vector<std::string>{"scan", "scan --part 1 '" + Img("mbr.img") + "'", "scan --part 99 " + mbr,
                                   "scan --disk 3 " + mbr, "scan --disk 0 --part 0 " + mbr,
                                   "scan '" + Img("mbr.img") + "' " + mbr}) {
        CliOut r = Cli("-q " + bad);
        EXPECT_EQ(r.nExit, 1) << bad;
        EXPECT_FALSE(r.err.empty()) << bad;
    }
    // The whole disk by index scans like the image named directly (which has no --part numbers).
    CliOut byDisk = Cli("-q scan --json --disk 0 " + mbr);
    CliOut direct = Cli("-q scan --json '" + Img("mbr.img") + "'");
    ASSERT_EQ(byDisk.nExit, 0) << byDisk.err;
    ASSERT_EQ(direct.nExit, 0) << direct.err;
    nlohmann::json viaDisk = nlohmann::json::parse(byDisk.out)["partitions"];
    for (auto& p : viaDisk) p["partition_number"] = nullptr;
    EXPECT_EQ(viaDisk, nlohmann::json::parse(direct.out)["partitions"]);

    // Partition 2 (the first logical, FAT32 with files) by index against the same sectors cut out.
    std::string cut = (m_dir / "logic1.img").string();
    ASSERT_EQ(std::system(("dd if='" + Img("mbr.img") + "' of='" + cut +
                           "' bs=512 skip=36864 count=69632 status=none").c_str()),
              0);
    CliOut byPart = Cli("-q ls --json --part 2 " + mbr);
    CliOut ofCut = Cli("-q ls --json '" + cut + "'");
    ASSERT_EQ(byPart.nExit, 0) << byPart.err;
    ASSERT_EQ(ofCut.nExit, 0) << ofCut.err;
    nlohmann::json a = nlohmann::json::parse(byPart.out)["entries"], b = nlohmann::json::parse(ofCut.out)["entries"];
    EXPECT_GE(a.size(), 4u);
    EXPECT_EQ(a, b);
}

TEST_F(CmdDevicesLinux, MountedReadWritePartitionIsFlaggedAndWarned) {
    // A fake machine: one USB disk (the MBR test disk) whose first partition is mounted read-write.
    fs::path sys = m_dir / "sys";
    std::string rel = "devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
    fs::create_directories(sys / rel / "sdb1");
    fs::create_directories(sys / rel / "device");
    fs::create_directories(sys / "block");
    fs::create_symlink("../" + rel, sys / "block/sdb");
    auto write = [](const fs::path& p, const std::string& s) { std::ofstream(p) << s << "\n"; };
    write(sys / rel / "size", "163840");
    write(sys / rel / "dev", "8:16");
    write(sys / rel / "removable", "1");
    write(sys / rel / "device/model", "Cruzer Blade");
    write(sys / rel / "sdb1/partition", "1");
    write(sys / rel / "sdb1/start", "2048");
    write(sys / rel / "sdb1/size", "16384");
    write(sys / rel / "sdb1/dev", "8:17");
    fs::create_symlink(Img("mbr.img"), sys / "sdb");  // the fake /dev is the sysfs folder here
    write(sys / "none", "90 27 8:17 / /media/me/STICK rw,nosuid - vfat /dev/sdb1 rw");

    CliOut list = Cli("devices --json");
    ASSERT_EQ(list.nExit, 0) << list.err;
    nlohmann::json j = nlohmann::json::parse(list.out);
    ASSERT_EQ(j["disks"].size(), 1u);
    EXPECT_EQ(j["disks"][0]["usb"], true);
    EXPECT_EQ(j["disks"][0]["mounted_rw"], true);
    ASSERT_EQ(j["partitions"].size(), 5u);
    EXPECT_EQ(j["partitions"][0]["mount_point"], "/media/me/STICK");
    EXPECT_EQ(j["partitions"][0]["mounted_rw"], true);
    EXPECT_EQ(j["partitions"][0]["partition_number"], 1);
    EXPECT_EQ(j["partitions"][1]["mounted_rw"], false);

    CliOut scan = Cli("-q scan --part 0");
    EXPECT_EQ(scan.nExit, 0) << scan.err;
    EXPECT_NE(scan.err.find("mounted read-write at /media/me/STICK"), std::string::npos) << scan.err;
    CliOut other = Cli("-q scan --part 1");
    EXPECT_EQ(other.err.find("read-write"), std::string::npos) << other.err;
}

// scan numbers what it found as devices numbers the partitions (the index --part takes) and
// gives each the size devices gives it; a volume of no listed partition has no number.
TEST_F(CmdDevicesLinux, ScanNumbersAndSizesPartitionsAsDevicesDoes) {
    for (const char* img : {"mbr.img", "gpt.img"}) {
        SCOPED_TRACE(img);
        const std::string opt = "--image '" + Img(img) + "'";
        CliOut dev = Cli("devices --json " + opt);
        CliOut scan = Cli("-q scan --json --disk 0 " + opt);
        ASSERT_EQ(dev.nExit, 0) << dev.err;
        ASSERT_EQ(scan.nExit, 0) << scan.err;
        const nlohmann::json listed = nlohmann::json::parse(dev.out)["partitions"];
        size_t nMatched = 0;
        const nlohmann::json found = nlohmann::json::parse(scan.out)["partitions"];
        for (const auto& p : found) {
            const nlohmann::json* pListed = nullptr;
            for (const auto& l : listed)
                if (!pListed && l["first_sector"] == p["first_sector"]) pListed = &l;
            if (!pListed) {
                EXPECT_TRUE(p["partition_number"].is_null()) << p;
                continue;
            }
            ++nMatched;
            EXPECT_EQ(p["partition_number"], (*pListed)["index"]) << p;
            EXPECT_EQ(p["sectors"], (*pListed)["sectors"]) << p << " against " << *pListed;
        }
        EXPECT_GE(nMatched, 2u);
        // A partition chosen by index keeps its number.
        CliOut one = Cli("-q scan --json --part 1 " + opt);
        ASSERT_EQ(one.nExit, 0) << one.err;
        EXPECT_EQ(nlohmann::json::parse(one.out)["partitions"][0]["partition_number"], 1);
    }
}

// The recovery report numbers partitions, and the files in them, as devices does.
TEST_F(CmdDevicesLinux, RecoveryReportNumbersPartitionsAsDevicesDoes) {
    std::string report = (m_dir / "report.json").string();
    CliOut r = Cli("-q recover --disk 0 --image '" + Img("mbr.img") + "' --to '" + (m_dir / "out").string() +
                   "' --report '" + report + "'");
    ASSERT_NE(r.nExit, 1) << r.err;
    std::ifstream in(report);
    nlohmann::json j = nlohmann::json::parse(in);
    bool bLogic1 = false;
    for (const auto& p : j["partitions"])
        if (p["first_sector"] == 36864) {
            EXPECT_EQ(p["partition_number"], 2);  // the first logical, index 2 of `devices`
            bLogic1 = true;
        }
    EXPECT_TRUE(bLogic1) << j["partitions"];
    size_t nFiles = 0;
    for (const auto& f : j["files"])
        if (f["partition"].get<std::string>().starts_with("LOGIC1(")) {
            EXPECT_EQ(f["partition_number"], 2) << f["original_path"];
            ++nFiles;
        }
    EXPECT_GE(nFiles, 3u);
}
