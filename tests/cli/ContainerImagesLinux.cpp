// Disk-image containers made by the field's own tools from one of our raw test disks (qemu-img:
// VMDK, VHDX, VHD dynamic and fixed, QCOW2; ewfacquire: E01 in several segments): undelia-cli reads
// the disk each holds, so recovery from every container equals recovery from the raw image, byte
// for byte. Broken containers and a machine without a format's library say why.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "CliTestSupport.h"
#include "KivNeedTool.h"
#include "KivShellRun.h"
#include "KivTestImages.h"

namespace fs = std::filesystem;

namespace {

// Every file below a folder, by path relative to it, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> m;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) m[fs::relative(e.path(), root).string()] = ShellReadText(e.path().string());
    return m;
}

class ContainerImagesLinux : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string images = KivTestImageDir("make-recovery-images", "recovery-test-images");
        if (images.empty()) return;
        char sz[] = "/tmp/kiv-containers-XXXXXX";
        if (!::mkdtemp(sz)) return;
        s_dir = sz;
        s_raw = images + "/fat16-c512.img";
        std::string q = ShellQuote(s_raw), d = ShellQuote(s_dir);
        s_bQemu = ShellRunIn(s_dir, "command -v qemu-img").nExit == 0 &&
                  ShellRunIn(s_dir, "for f in vmdk vhdx vpc qcow2; do qemu-img convert -O $f " + q + " " + d + "/disk.$f || exit 1; done; " +
                                        "qemu-img convert -O vpc -o subformat=fixed " + q + " " + d + "/fixed.vhd")
                          .nExit == 0;
        // Unattended, no compression, segments of 1 MiB: the disk spans 22 segment files.
        s_bEwf = ShellRunIn(s_dir, "command -v ewfacquire").nExit == 0 &&
                 ShellRunIn(s_dir, "ewfacquire -u -q -c none -d sha1 -S 1MiB -t " + d + "/disk " + q).nExit == 0;
    }
    static void TearDownTestSuite() {
        if (!s_dir.empty()) fs::remove_all(s_dir);
    }
    void SetUp() override {
        if (s_raw.empty()) KIV_SKIP_MISSING_TOOL("scripts/make-recovery-images failed");
        char sz[] = "/tmp/kiv-contout-XXXXXX";
        ASSERT_NE(::mkdtemp(sz), nullptr);
        m_out = sz;
    }
    void TearDown() override {
        if (!m_out.empty()) fs::remove_all(m_out);
    }
    // Runs cmd in the test's own folder.
    ShellRun Sh(const std::string& cmd) { return ShellRunIn(m_out, "cd " + ShellQuote(m_out) + " && " + cmd); }
    void NeedQemu() {
        if (!s_bQemu) KIV_SKIP_MISSING_TOOL("qemu-img (qemu-utils) is missing or failed");
    }
    void NeedEwf() {
        if (!s_bEwf) KIV_SKIP_MISSING_TOOL("ewfacquire (ewf-tools) is missing or failed");
    }
    std::map<std::string, std::string> Recovered(const std::string& image, const std::string& name) {
        fs::path to = fs::path(m_out) / name;
        CliRun r = KivRunCli({"-q", "recover", image, "--to", to.string()}, m_out);
        EXPECT_EQ(r.nExit, 0) << image << ": " << r.err;
        return fs::exists(to) ? Tree(to) : std::map<std::string, std::string>{};
    }

    static inline std::string s_dir, s_raw;
    static inline bool s_bQemu = false, s_bEwf = false;
    std::string m_out;
};

}  // namespace

TEST_F(ContainerImagesLinux, EveryContainerGivesTheRawImagesFilesByteForByteAndDevicesNamesItsFormat) {
    NeedQemu();
    NeedEwf();
    auto raw = Recovered(s_raw, "raw");
    ASSERT_GT(raw.size(), 3u);
    std::map<std::string, std::string> formats{{"disk.vmdk", "VMDK"}, {"disk.vhdx", "VHDX"}, {"disk.vpc", "VHD"},
                                               {"fixed.vhd", "VHD"},  {"disk.qcow2", "QCOW2"}, {"disk.E01", "E01"}};
    std::vector<std::string> args{"devices", "--json"};
    for (const auto& [file, format] : formats) {
        EXPECT_EQ(Recovered(s_dir + "/" + file, file), raw) << file;
        args.insert(args.end(), {"--image", s_dir + "/" + file});
    }
    CliRun dev = KivRunCli(args, m_out);
    nlohmann::json j = nlohmann::json::parse(dev.out);
    size_t nImages = 0;
    for (const auto& d : j["disks"])
        if (d["kind"] == "image") {
            ++nImages;
            std::string path = d["path"];
            EXPECT_EQ(d["format"], formats[fs::path(path).filename().string()]) << path;
            // The virtual disk, not the container file (qemu-img rounds a VHD up to whole cylinders).
            EXPECT_GE(d["size"], fs::file_size(s_raw)) << path;
            EXPECT_LT(d["size"], fs::file_size(s_raw) + (1u << 20)) << path;
        }
    EXPECT_EQ(nImages, formats.size()) << dev.err;

    // The report names the container, its segments and whether its stored digests match.
    CliRun v = KivRunCli({"-q", "recover", s_dir + "/disk.E01", "--to", m_out + "/v", "--verify-image", "--report", m_out + "/r.json"}, m_out);
    EXPECT_EQ(v.nExit, 0) << v.err;
    nlohmann::json c = nlohmann::json::parse(ShellReadText(m_out + "/r.json"))["device"]["container"];
    EXPECT_EQ(c["format"], "E01");
    EXPECT_EQ(c["files"].size(), 22u);
    EXPECT_EQ(c["md5_matches"], true);
    EXPECT_EQ(c["sha1_matches"], true);
}

TEST_F(ContainerImagesLinux, QcowOverItsBackingFileSeesTheParentAndNoOutputGoesOntoAnyFileOfTheChain) {
    NeedQemu();
    std::string base = m_out + "/base.qcow2", child = m_out + "/child.qcow2";
    ASSERT_EQ(Sh("qemu-img convert -O qcow2 " + ShellQuote(s_raw) + " " + ShellQuote(base) +
                                    " && qemu-img create -q -f qcow2 -b base.qcow2 -F qcow2 " + ShellQuote(child))
                  .nExit,
              0);
    EXPECT_EQ(Recovered(child, "child"), Recovered(s_raw, "raw"));
    // The report may not replace the parent the disk is read from, nor a segment of an E01.
    CliRun r = KivRunCli({"-q", "recover", child, "--to", m_out + "/again", "--report", base}, m_out);
    EXPECT_EQ(r.nExit, 1) << r.err;
    EXPECT_NE(r.err.find("its file '" + base + "'"), std::string::npos) << r.err;
    EXPECT_GT(fs::file_size(base), 1u << 20) << "the parent was written over";
    if (s_bEwf) {
        r = KivRunCli({"-q", "recover", s_dir + "/disk.E01", "--to", m_out + "/e", "--report", s_dir + "/disk.E07"}, m_out);
        EXPECT_EQ(r.nExit, 1) << r.err;
        EXPECT_NE(r.err.find("disk.E07"), std::string::npos) << r.err;
    }
    // Without its parent the child cannot be read: said with the name looked for.
    fs::rename(base, m_out + "/moved.qcow2");
    r = KivRunCli({"-q", "ls", child}, m_out);
    EXPECT_NE(r.nExit, 0);
    EXPECT_NE(r.err.find("backing file of " + child + " is missing"), std::string::npos) << r.err;
}

TEST_F(ContainerImagesLinux, BrokenContainersAndMissingLibrariesSayWhyAndDamagedChunksAreBadAreasOfTheirOwnSize) {
    NeedQemu();
    NeedEwf();
    // A segment missing in the middle, and the last segments missing.
    fs::create_directories(m_out + "/gap");
    ASSERT_EQ(Sh("cp " + ShellQuote(s_dir) + "/disk.E* gap/ && rm gap/disk.E05").nExit, 0);
    CliRun r = KivRunCli({"-q", "ls", m_out + "/gap/disk.E01"}, m_out);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("gap/disk.E05 of "), std::string::npos) << r.err;
    ASSERT_EQ(Sh("rm gap/disk.E0[6-9] gap/disk.E[12]*").nExit, 0);
    r = KivRunCli({"-q", "ls", m_out + "/gap/disk.E01"}, m_out);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("incomplete or damaged (is " + m_out + "/gap/disk.E05 missing?)"), std::string::npos) << r.err;

    // Cut-off and garbled headers are refused with a line, never read as raw bytes.
    ASSERT_EQ(Sh("head -c 3000 " + ShellQuote(s_dir) + "/disk.qcow2 > cut.qcow2; "
                                "cp " + ShellQuote(s_dir) + "/disk.vhdx bad.vhdx; printf 'garbage!' | dd of=bad.vhdx bs=1 seek=65536 conv=notrunc status=none; "
                                "dd if=/dev/zero of=bad.vhdx bs=1 seek=131072 count=8 conv=notrunc status=none")
                  .nExit,
              0);
    for (const char* f : {"cut.qcow2", "bad.vhdx"}) {
        r = KivRunCli({"-q", "ls", m_out + "/" + f}, m_out);
        EXPECT_EQ(r.nExit, 1) << f;
        EXPECT_NE(r.err.find("cannot open '" + m_out + "/" + f + "': "), std::string::npos) << r.err;
    }

    // A chunk whose checksum fails is a bad area of its 64 sectors, not the start of a written-off region.
    ASSERT_EQ(Sh("mkdir crc && cp " + ShellQuote(s_dir) + "/disk.E* crc/ && "
                                "printf 'XXXXXXXXXXXXXXXX' | dd of=crc/disk.E12 bs=1 seek=500000 conv=notrunc status=none")
                  .nExit,
              0);
    r = KivRunCli({"scan", m_out + "/crc/disk.E01"}, m_out);
    EXPECT_NE((r.out + r.err).find("64 sectors could not be read, 0 skipped untried"), std::string::npos) << r.out << r.err;

    // A machine without a format's library says which format it lacks.
    r = KivRunCli({"-q", "ls", s_dir + "/disk.qcow2"}, m_out, 0, {"UNDELIA_IMAGE_LIBS=ewf,vhdi,vmdk"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("this build lacks the QCOW2 format: libqcow left out"), std::string::npos) << r.err;
}

TEST_F(ContainerImagesLinux, ASparseHundredGiBQcowScansAtHoleSpeed) {
    NeedQemu();
    std::string big = m_out + "/big.qcow2";
    ASSERT_EQ(Sh("qemu-img convert -O qcow2 " + ShellQuote(s_raw) + " big.qcow2 && qemu-img resize -q big.qcow2 100G").nExit, 0);
    auto t0 = std::chrono::steady_clock::now();
    CliRun r = KivRunCli({"-q", "ls", big}, m_out);
    double d = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_NE(r.out.find("FAT16"), std::string::npos) << r.out;
    // Reading 100 GiB of zeros through the library would take minutes.
    EXPECT_LT(d, 20.0);
}
