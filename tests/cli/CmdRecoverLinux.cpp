// undelia-cli recover as a user meets it when things go wrong: every failure said with its reason,
// a destination that fills up, nothing partial left behind, and quiet runs that still say so.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "CliTestSupport.h"
#include "KivTestImages.h"
#include "KivNeedTool.h"
#include "KivTempDirTest.h"

namespace fs = std::filesystem;

namespace {

class CmdRecoverLinux : public KivTempDirTest {
protected:
    CmdRecoverLinux() : KivTempDirTest("kiv-cmdrec-") {}
    void SetUp() override {
        m_images = KivTestImageDir("make-recovery-images", "recovery-test-images");
        if (m_images.empty()) KIV_SKIP_MISSING_TOOL("scripts/make-recovery-images failed");
        KivTempDirTest::SetUp();
    }

    // Sizes of the files ls lists, by path.
    std::map<std::string, uint64_t> Listed(const std::string& image) {
        // The folder view: the paths recover writes to.
        CliRun ls = KivRunCli({"-q", "ls", image, "--view", "folder", "--json"}, m_dir);
        EXPECT_EQ(ls.nExit, 0) << ls.err;
        std::map<std::string, uint64_t> m;
        nlohmann::json j = nlohmann::json::parse(ls.out);
        for (const auto& e : j["entries"])
            if (e["kind"] == "file") m[e["path"]] = e["size"];
        return m;
    }

    std::vector<std::string> ErrLines(const std::string& err, const std::string& prefix) {
        std::vector<std::string> v;
        std::istringstream in(err);
        for (std::string l; std::getline(in, l);)
            if (l.rfind("undelia-cli: " + prefix, 0) == 0) v.push_back(l);
        return v;
    }

    std::string m_images;
};

}  // namespace

TEST_F(CmdRecoverLinux, FullDestinationStopsDeletesThePartialFileAndSaysHowManyWereWritten) {
    std::string image = m_images + "/fat16-c512.img";
    auto listed = Listed(image);
    fs::path out = fs::path(m_dir) / "out";
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    // Room for the first files but not for all of them (about 450 KB are listed).
    CliRun r = KivRunCli({"recover", image, "--to", out.string()}, m_dir, 0,
                         {"LD_PRELOAD=" KIV_BIN_DIR "/kiv_full_disk_shim.so", "KIV_SHIM_FULL_DIR=" + out.string(),
                          "KIV_SHIM_FULL_AFTER=200000", "ASAN_OPTIONS=" + asan + ":verify_asan_link_order=0"});
    EXPECT_EQ(r.nExit, 2) << r.err;
    auto failed = ErrLines(r.err, "failed: ");
    ASSERT_EQ(failed.size(), 1u) << r.err;  // the file being written; nothing is tried after it
    EXPECT_TRUE(failed[0].ends_with(": No space left on device")) << failed[0];
    EXPECT_NE(failed[0].find(out.string()), std::string::npos) << failed[0];
    auto stopped = ErrLines(r.err, "recovery stopped");
    ASSERT_EQ(stopped.size(), 1u) << r.err;

    // Every file left is whole; their number is the one reported.
    size_t nFiles = 0;
    for (auto& f : fs::recursive_directory_iterator(out)) {
        if (!f.is_regular_file()) continue;
        std::string rel = fs::relative(f.path(), out).string();
        ASSERT_TRUE(listed.count(rel)) << rel;
        EXPECT_EQ(f.file_size(), listed[rel]) << rel << " left partial";
        ++nFiles;
    }
    EXPECT_GE(nFiles, 1u);
    EXPECT_LT(nFiles, listed.size());
    EXPECT_TRUE(stopped[0].ends_with(": " + std::to_string(nFiles) + " files written")) << stopped[0];
    EXPECT_EQ(r.out.rfind(std::to_string(nFiles) + " of " + std::to_string(listed.size()) + " selected files written", 0), 0u)
        << r.out;
}

TEST_F(CmdRecoverLinux, QuietStillSaysWhatFailed) {
    std::string image = m_images + "/fat16-c512.img";
    fs::path out = fs::path(m_dir) / "out";
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    CliRun r = KivRunCli({"-q", "recover", image, "--to", out.string()}, m_dir, 0,
                         {"LD_PRELOAD=" KIV_BIN_DIR "/kiv_full_disk_shim.so", "KIV_SHIM_FULL_DIR=" + out.string(),
                          "KIV_SHIM_FULL_AFTER=0", "ASAN_OPTIONS=" + asan + ":verify_asan_link_order=0"});
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;  // no summary
    EXPECT_EQ(ErrLines(r.err, "failed: ").size(), 1u) << r.err;
    EXPECT_EQ(ErrLines(r.err, "recovery stopped").size(), 1u) << r.err;
    EXPECT_EQ(ErrLines(r.err, "scanned").size(), 0u) << r.err;
}

// A disk far larger than the scan gets through before Ctrl-C: the recovery image followed by a
// sparse 64 GiB, read as a disk reads (holes and all).
TEST_F(CmdRecoverLinux, CtrlCDuringTheScanListsAndRecoversWhatWasFound) {
    std::string big = m_dir + "/big.img";
    ASSERT_EQ(std::system(("cp --sparse=always '" + m_images + "/fat16-c512.img' '" + big + "'").c_str()), 0);
    fs::resize_file(big, 64ull << 30);

    CliRun ls = KivRunCli({"ls", big, "--json"}, m_dir, 3000, KivNoHolesEnv(big));
    EXPECT_EQ(ls.nExit, 130) << ls.err;
    nlohmann::json j = nlohmann::json::parse(ls.out);
    EXPECT_EQ(j["scan"]["cancelled"], true);
    bool bListed = false;
    for (const auto& e : j["entries"]) bListed |= e["path"] == "UNDELIA(FAT16 1)/Docs/report.bin";
    EXPECT_TRUE(bListed) << ls.out;

    fs::path out = fs::path(m_dir) / "out";
    CliRun rec = KivRunCli({"recover", big, "--to", out.string()}, m_dir, 3000, KivNoHolesEnv(big));
    EXPECT_EQ(rec.nExit, 130) << rec.err;
    std::string want = CliReadText(m_images + "/src/report.bin");
    EXPECT_EQ(CliReadText((out / "UNDELIA(FAT16 1)/Docs/report.bin").string()), want);
}

TEST_F(CmdRecoverLinux, UnusableDestinationFailsBeforeTheScan) {
    std::string image = m_images + "/fat16-c512.img";
    std::string file = m_dir + "/a-file";
    std::ofstream(file) << "x";
    for (const std::string& dest : {file, file + "/below", std::string("/proc/undelia-out")}) {
        CliRun r = KivRunCli({"recover", image, "--to", dest}, m_dir);
        EXPECT_EQ(r.nExit, 1) << dest;
        EXPECT_EQ(CliLines(r.err), 1u) << r.err;  // no scan summary: refused first
        EXPECT_NE(r.err.find(dest), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists("/proc/undelia-out"));
}

// Nothing the program writes may land on the image it reads: not the image itself (under another
// name, by a hard or symbolic link), not a FUSE mount of it (ntfs-3g), not a loop device's mount of
// it. Each is refused before the scan, with one line naming both paths, for every written path.
TEST_F(CmdRecoverLinux, NoWrittenPathMayLieOnTheImage) {
    std::string img = m_dir + "/vol.img", mnt = m_dir + "/mnt";
    fs::create_directory(mnt);
    if (std::system(("truncate -s 16M '" + img + "' && mkntfs -q -F -f '" + img + "' >/dev/null 2>&1").c_str()) != 0)
        KIV_SKIP_MISSING_TOOL("needs mkntfs");
    fs::create_hard_link(img, m_dir + "/hard.img");
    fs::create_symlink(img, m_dir + "/soft.img");
    std::vector<std::string> onImage = {img, m_dir + "/hard.img", m_dir + "/soft.img"};
    bool bFuse = std::system(("timeout 20 ntfs-3g '" + img + "' '" + mnt + "' >/dev/null 2>&1").c_str()) == 0;
    if (bFuse) onImage.push_back(mnt + "/inside");
    std::string before = CliReadText(img);
    auto refused = [&](const std::vector<std::string>& args, const std::string& path, const std::string& medium) {
        CliRun r = KivRunCli(args, m_dir);
        EXPECT_EQ(r.nExit, 1) << path << ": " << r.err;
        EXPECT_EQ(CliLines(r.err), 1u) << r.err;  // refused before the scan
        EXPECT_NE(r.err.find("refusing to write"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("'" + path + "'"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("'" + medium + "'"), std::string::npos) << r.err;
    };
    for (const std::string& p : onImage) {
        refused({"recover", img, "--to", m_dir + "/out", "--report", p}, p, img);
        refused({"scan", img, "--session", p}, p, img);
        refused({"ls", img, "--badmap", p}, p, img);
    }
    if (bFuse) refused({"recover", img, "--to", mnt + "/out"}, mnt + "/out", img);
    bool bMadeOut = bFuse && (fs::exists(mnt + "/out") || fs::exists(mnt + "/inside"));
    if (bFuse) std::system(("fusermount -u '" + mnt + "'").c_str());
    EXPECT_FALSE(bMadeOut);
    EXPECT_TRUE(CliReadText(img) == before);
    EXPECT_FALSE(fs::exists(m_dir + "/out"));

    // A loop device's mount of the image, where this machine lets a test make one.
    std::string ext = m_dir + "/ext.img";
    if (std::system(("truncate -s 16M '" + ext + "' && mkfs.ext4 -q '" + ext + "' 2>/dev/null").c_str()) == 0 &&
        std::system(("mount -o loop '" + ext + "' '" + mnt + "' 2>/dev/null").c_str()) == 0) {
        refused({"recover", ext, "--to", mnt + "/out"}, mnt + "/out", ext);
        refused({"scan", ext, "--session", mnt + "/s.und"}, mnt + "/s.und", ext);
        bool bWrote = fs::exists(mnt + "/out") || fs::exists(mnt + "/s.und");
        std::system(("umount '" + mnt + "'").c_str());
        EXPECT_FALSE(bWrote);
    }
    // Its own file system (where the image file lies) is only warned about.
    CliRun ok = KivRunCli({"-q", "recover", img, "--to", m_dir + "/beside"}, m_dir);
    EXPECT_EQ(ok.nExit, 0) << ok.err;
    EXPECT_NE(ok.err.find("lies on the same file system as the image"), std::string::npos) << ok.err;
}

// An encrypted file (its record carries "$EFS") comes back as the import stream that restores it
// under its name: stream header, the key metadata, then the encrypted data in blocks.
TEST_F(CmdRecoverLinux, EncryptedNtfsFileBecomesItsImportStream) {
    fs::path out = fs::path(m_dir) / "out";
    CliRun r = KivRunCli({"-q", "recover", m_images + "/ntfs-efs.img", "--to", out.string()}, m_dir);
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_FALSE(fs::exists(out / "NTFS 1/secret.bin"));
    std::string s = CliReadText((out / "NTFS 1/secret.bin.EFS").string());
    std::string meta = CliReadText(m_images + "/src/efs-meta.bin"), data = CliReadText(m_images + "/src/report.bin");
    ASSERT_EQ(meta.size(), 208u);
    ASSERT_GT(s.size(), 66 + meta.size() + 42 + 3 * 512 + data.size());
    EXPECT_EQ(s.substr(0, 4), std::string("\x00\x01\x00\x00", 4));
    EXPECT_EQ(s.substr(4, 8), std::string("R\0O\0B\0S\0", 8));
    EXPECT_EQ(s.substr(66, meta.size()), meta);
    size_t at = 66 + meta.size();
    EXPECT_EQ(s.substr(at + 4, 8), std::string("N\0T\0F\0S\0", 8));
    at += 42;
    // Blocks of at most 64 KiB, each after its 512-byte header.
    std::string got;
    while (at + 512 <= s.size()) {
        EXPECT_EQ(s.substr(at + 4, 8), std::string("G\0U\0R\0E\0", 8));
        uint32_t n = uint8_t(s[at]) | uint8_t(s[at + 1]) << 8 | uint8_t(s[at + 2]) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
        ASSERT_GE(n, 512u);
        got += s.substr(at + 512, n - 512);
        at += n;
    }
    EXPECT_EQ(at, s.size());
    EXPECT_EQ(got.substr(0, data.size()), data);
}

// A FAT entry that keeps its size but has lost its start cluster says where none of its data lies:
// it fails with that reason instead of coming back as an empty or zero-filled file.
TEST_F(CmdRecoverLinux, FatEntryWithASizeButNoStartClusterFails) {
    std::string img = m_dir + "/vol.img";
    std::string make = "cd '" + m_dir + "' && truncate -s 32M vol.img && mkfs.fat -F 16 vol.img >/dev/null 2>&1 && "
                       "head -c 3000 /dev/urandom > keep.bin && head -c 1234 /dev/urandom > note.txt && "
                       "MTOOLS_SKIP_CHECK=1 mcopy -i vol.img keep.bin note.txt ::/";
    if (std::system(make.c_str()) != 0) KIV_SKIP_MISSING_TOOL("needs mkfs.fat and mtools");
    std::string vol = CliReadText(img);
    size_t at = vol.find("NOTE    TXT");
    ASSERT_NE(at, std::string::npos);
    for (size_t i : {20u, 21u, 26u, 27u}) vol[at + i] = 0;  // start cluster, high and low words
    std::ofstream(img, std::ios::binary | std::ios::trunc) << vol;

    fs::path out = fs::path(m_dir) / "out";
    CliRun r = KivRunCli({"-q", "recover", img, "--to", out.string()}, m_dir);
    EXPECT_EQ(r.nExit, 2) << r.err;
    auto failed = ErrLines(r.err, "failed: ");
    ASSERT_EQ(failed.size(), 1u) << r.err;
    EXPECT_EQ(failed[0], "undelia-cli: failed: " + (out / "FAT16 1/note.txt").string() + ": no data runs for its 1234 bytes");
    EXPECT_FALSE(fs::exists(out / "FAT16 1/note.txt"));
    EXPECT_EQ(CliReadText((out / "FAT16 1/keep.bin").string()), CliReadText(m_dir + "/keep.bin"));
}

// Files deleted to the recycle bin come back under the names their information entries ($I...)
// give them; the information entry itself stays.
TEST_F(CmdRecoverLinux, NtfsRecycleBinFilesGetTheirOriginalNames) {
    std::string img = m_dir + "/vol.img", mnt = m_dir + "/mnt";
    fs::create_directory(mnt);
    if (std::system(("truncate -s 16M '" + img + "' && mkntfs -q -F -f '" + img + "' >/dev/null 2>&1").c_str()) != 0)
        KIV_SKIP_MISSING_TOOL("needs mkntfs");
    if (std::system(("timeout 20 ntfs-3g '" + img + "' '" + mnt + "' >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no FUSE mount on this machine";
    std::string bin = mnt + "/$Recycle.Bin/S-1-5-21-1001";
    fs::create_directories(bin);
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 251);
    std::ofstream(bin + "/$RAB12CD.txt", std::ios::binary) << data;
    // $I: version 2, size, deletion time, name length in characters (with its end), UTF-16 name.
    std::u16string name = u"C:\\Users\\me\\Documents\\Budget 2024.txt";
    std::string info;
    auto put = [&info](uint64_t v, int n) {
        for (int i = 0; i < n; ++i) info += char(v >> (8 * i));
    };
    put(2, 8), put(data.size(), 8), put(0, 8), put(name.size() + 1, 4);
    for (char16_t c : name) put(c, 2);
    put(0, 2);
    std::ofstream(bin + "/$IAB12CD.txt", std::ios::binary) << info;
    std::system(("fusermount -u '" + mnt + "'").c_str());

    fs::path out = fs::path(m_dir) / "out";
    CliRun r = KivRunCli({"-q", "recover", img, "--to", out.string()}, m_dir);
    ASSERT_EQ(r.nExit, 0) << r.err;
    fs::path got = out / "NTFS 1/$Recycle.Bin/S-1-5-21-1001";
    EXPECT_EQ(CliReadText((got / "Budget 2024.txt").string()), data);
    EXPECT_FALSE(fs::exists(got / "$RAB12CD.txt"));
    EXPECT_EQ(CliReadText((got / "$IAB12CD.txt").string()), info);
}
