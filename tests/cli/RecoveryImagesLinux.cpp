// Whole disks made by the real tools (scripts/make-recovery-images), listed and recovered by
// undelia-cli, and every file written compared with the bytes on the image, with the files that
// went in and with what The Sleuth Kit recovers from the same image.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliTestSupport.h"
#include "KivScanResult.h"
#include "KivTestImages.h"
#include "KivNeedTool.h"

namespace fs = std::filesystem;

namespace {

const std::string& ImageDir() {
    static std::string dir = KivTestImageDir("make-recovery-images", "recovery-test-images");
    return dir;
}

std::vector<uint8_t> Bytes(const fs::path& p) {
    std::string s = CliReadText(p.string());
    return {s.begin(), s.end()};
}

bool AllZero(const std::vector<uint8_t>& v) {
    return std::all_of(v.begin(), v.end(), [](uint8_t b) { return b == 0; });
}

struct Planted {
    std::string kind;  // carved, file, deleted
    std::string where;  // start sector (carved) or path in the volume
    uint64_t nSize;
    std::string source;
};

std::vector<Planted> Manifest(const std::string& image) {
    std::vector<Planted> out;
    std::istringstream in(CliReadText(ImageDir() + "/manifest.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream ls(line);
        for (std::string s; std::getline(ls, s, '\t');) f.push_back(s);
        if (f.size() == 5 && f[0] == image) out.push_back({f[1], f[2], std::stoull(f[3]), ImageDir() + "/" + f[4]});
    }
    return out;
}

class RecoveryImagesLinux : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (ImageDir().empty()) KIV_SKIP_MISSING_TOOL("scripts/make-recovery-images failed (mkfs.fat, mtools, mkntfs?)");
        char sz[] = "/tmp/kiv-recimg-XXXXXX";
        ASSERT_NE(::mkdtemp(sz), nullptr);
        m_dir = sz;
        m_image = ImageDir() + "/" + GetParam();
    }
    void TearDown() override {
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    // The image's bytes at a sector, nSize of them.
    std::vector<uint8_t> ImageAt(uint64_t nSector, uint64_t nSize) {
        std::vector<uint8_t> v(nSize);
        FILE* f = std::fopen(m_image.c_str(), "rb");
        if (!f) return {};
        bool ok = ::fseeko(f, static_cast<off_t>(nSector * 512), SEEK_SET) == 0 && std::fread(v.data(), 1, nSize, f) == nSize;
        std::fclose(f);
        return ok ? v : std::vector<uint8_t>{};
    }

    std::string m_dir;
    std::string m_image;
};

}  // namespace

TEST_P(RecoveryImagesLinux, EveryFileWrittenIsTheImageBytesOrTheFileThatWentIn) {
    // The folder view: the paths recover writes to.
    CliRun ls = KivRunCli({"-q", "ls", m_image, "--view", "folder", "--json"}, m_dir);
    ASSERT_EQ(ls.nExit, 0) << ls.err;
    nlohmann::json j = nlohmann::json::parse(ls.out);
    std::map<std::string, nlohmann::json> byPath;
    std::string partFolder;
    for (const auto& e : j["entries"]) {
        byPath[e["path"]] = e;
        if (e["kind"] == "partition" && e["fs_type"] != "RAW" && partFolder.empty()) partFolder = e["path"];
    }
    ASSERT_FALSE(partFolder.empty()) << ls.out;

    fs::path out = fs::path(m_dir) / "out";
    CliRun rec = KivRunCli({"recover", m_image, "--to", out.string()}, m_dir);
    ASSERT_EQ(rec.nExit, 0) << rec.err;
    EXPECT_NE(rec.out.find(" 0 failed, 0 damaged"), std::string::npos) << rec.out;

    // What went onto the image comes back, byte for byte, in the right place.
    for (const Planted& p : Manifest(GetParam())) {
        SCOPED_TRACE(p.kind + " " + p.where);
        std::vector<uint8_t> want = Bytes(p.source);
        ASSERT_EQ(want.size(), p.nSize);
        std::string path;
        if (p.kind == "carved") {
            uint64_t nSector = std::stoull(p.where);
            ASSERT_EQ(ImageAt(nSector, p.nSize), want);
            for (const auto& [k, e] : byPath)
                if (e.value("state", "") == "carved" && e.value("start_sector", ~0ull) == nSector) path = k;
            ASSERT_FALSE(path.empty()) << "not listed";
            // Inside the partition it hangs under the partition; elsewhere under the outside node.
            bool bInside = nSector >= 2048 && path.rfind(partFolder + "/", 0) == 0;
            bool bOutside = path.rfind(std::string(KIV_NAME_OUTSIDE_PARTS) + "/", 0) == 0;
            EXPECT_TRUE(bInside || bOutside) << path;
            EXPECT_EQ(bOutside, nSector < 2048 || p.source.ends_with("after.png")) << path;
        } else if (p.kind == "file") {
            path = partFolder + "/" + p.where;
        } else {  // a deleted FAT entry has lost its first character
            for (const auto& [k, e] : byPath)
                if (e.value("state", "") == "deleted" && k.ends_with(p.where.substr(1)) && e.value("size", 0ull) == p.nSize)
                    path = k;
        }
        ASSERT_TRUE(byPath.count(path)) << path;
        EXPECT_EQ(byPath[path]["size"], p.nSize);
        EXPECT_TRUE(Bytes(out / path) == want) << path << " differs from what went in";
    }

    // Every file written is the image's bytes at the runs ls gives for it: none is written as zeros
    // (or from elsewhere) where the image holds its data.
    ASSERT_EQ(j["sector_size"], 512);
    size_t nChecked = 0;
    for (auto& f : fs::recursive_directory_iterator(out)) {
        if (!f.is_regular_file()) continue;
        std::string rel = fs::relative(f.path(), out).string();
        SCOPED_TRACE(rel);
        ASSERT_TRUE(byPath.count(rel)) << "written but not listed";
        const nlohmann::json& e = byPath[rel];
        std::vector<uint8_t> got = Bytes(f.path());
        EXPECT_EQ(got.size(), e["size"].get<uint64_t>());
        if (got.empty() || e.contains("resident")) continue;  // resident data lives inside its record
        ASSERT_TRUE(e.contains("runs")) << "written without runs";
        std::vector<uint8_t> at;
        for (const auto& r : e["runs"]) {
            if (at.size() >= got.size()) break;
            uint64_t n = std::min<uint64_t>(r["sectors"].get<uint64_t>() * 512, got.size() - at.size());
            std::vector<uint8_t> piece = r.contains("sparse") ? std::vector<uint8_t>(n) : ImageAt(r["sector"], n);
            ASSERT_EQ(piece.size(), n) << "a run lies outside the image";
            at.insert(at.end(), piece.begin(), piece.end());
        }
        ASSERT_EQ(at.size(), got.size()) << "its runs hold less than its size";
        EXPECT_TRUE(got == at) << "differs from the image at its runs";
        if (AllZero(got)) {
            EXPECT_TRUE(AllZero(at)) << "written as zeros";
        }
        ++nChecked;
    }
    EXPECT_GE(nChecked, 5u);

    // The Sleuth Kit's copy of every allocated file is what we wrote.
    if (std::system("command -v tsk_recover >/dev/null 2>&1") != 0) return;
    fs::path tsk = fs::path(m_dir) / "tsk";
    ASSERT_EQ(std::system(("tsk_recover -a -o 2048 '" + m_image + "' '" + tsk.string() + "' >/dev/null 2>&1").c_str()), 0);
    size_t nTsk = 0;
    for (auto& f : fs::recursive_directory_iterator(tsk)) {
        if (!f.is_regular_file()) continue;
        std::string rel = fs::relative(f.path(), tsk).string();
        EXPECT_TRUE(Bytes(out / partFolder / rel) == Bytes(f.path())) << rel << " differs from tsk_recover's copy";
        ++nTsk;
    }
    EXPECT_GE(nTsk, 2u);
}

INSTANTIATE_TEST_SUITE_P(Clusters, RecoveryImagesLinux,
                         ::testing::Values("fat16-c512.img", "fat16-c4k.img", "fat16-c64k.img", "fat32-c512.img",
                                           "fat32-c4k.img", "ntfs-c512.img", "ntfs-c4k.img", "ntfs-c64k.img"),
                         [](const auto& info) {
                             std::string s = info.param;
                             s = s.substr(0, s.find('.'));
                             std::replace(s.begin(), s.end(), '-', '_');
                             return s;
                         });
