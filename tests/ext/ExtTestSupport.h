// Shared helpers of the ext tests: volumes made by mke2fs from a folder the test fills (and
// changed with debugfs), a scan by the ext scanner alone with the engine's selection, the tree of
// the volume it selects, The Sleuth Kit's listing of the same image, and recovery of the tree.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Ext/CKivExtScanner.h"
#include "IKivScanDev.h"
#include "Ext/CKivScanResPartExt.h"
#include "KivMemDevStor.h"
#include "KivNeedTool.h"
#include "KivScannedVolume.h"
#include "KivShellRun.h"
#include "KivTestTree.h"

namespace kivext_test {

using kivtest::Child;
using kivtest::Dump;
using kivtest::Find;
using kivtest::ReadFile;

inline bool HaveTool(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1 || test -x /usr/sbin/" + name +
                        " || test -x /sbin/" + name)
                           .c_str()) == 0;
}

#define KIV_NEED_EXT_TOOLS()                                                                      \
    do {                                                                                          \
        for (const char* t : {"mke2fs", "debugfs", "e2fsck", "fls"})                              \
            if (!HaveTool(t)) KIV_SKIP_MISSING_TOOL(std::string(t) + " (e2fsprogs, sleuthkit)"); \
    } while (0)

// A temporary folder removed with the object.
struct TempDir {
    std::filesystem::path dir;
    TempDir() {
        static std::atomic<int> s_n{0};
        dir = std::filesystem::temp_directory_path() /
              ("undelia-ext-" + std::to_string(::getpid()) + "-" + std::to_string(s_n++));
        std::filesystem::create_directories(dir);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string operator/(const std::string& s) const { return (dir / s).string(); }
};

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 g(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(g());
    return v;
}

inline void WriteAt(const std::string& path, uint64_t off, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    { std::ofstream touch(path, std::ios::binary | std::ios::app); }
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(off));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline ShellRun Sh(const TempDir& t, const std::string& cmd) {
    return ShellRunIn(t.dir.string(), "PATH=$PATH:/usr/sbin:/sbin; " + cmd);
}

// mke2fs over the folder src of t into image img of the given size, with the options given.
inline void MakeImage(const TempDir& t, const std::string& opts, const std::string& size, const std::string& img = "img") {
    ShellRun r = Sh(t, "mke2fs -q -F -E root_owner=0:0 " + opts + " -d " + ShellQuote(t / "src") + " " +
                           ShellQuote(t / img) + " " + size);
    ASSERT_EQ(r.nExit, 0) << r.err;
}

inline void Debugfs(const TempDir& t, const std::string& cmds, const std::string& img = "img") {
    std::ofstream(t / "cmds") << cmds;
    ShellRun r = Sh(t, "debugfs -w -f " + ShellQuote(t / "cmds") + " " + ShellQuote(t / img));
    ASSERT_EQ(r.nExit, 0) << r.err;
}

// The Sleuth Kit's listing: path -> (type letter, deleted).
struct FlsEntry {
    char cType;
    bool bDeleted;
};
inline std::map<std::string, FlsEntry> Fls(const TempDir& t, const std::string& img = "img") {
    std::map<std::string, FlsEntry> out;
    ShellRun r = Sh(t, "fls -r -p " + ShellQuote(t / img));
    EXPECT_EQ(r.nExit, 0) << r.err;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        size_t tab = line.find('\t');
        if (tab == std::string::npos || line.size() < 3) continue;
        std::string path = line.substr(tab + 1);
        if (path.rfind("$OrphanFiles", 0) == 0) continue;
        bool bDel = line.find(" * ") != std::string::npos && line.find(" * ") < tab;
        out[path] = {line[0], bDel};
    }
    return out;
}

// Our tree as path -> (directory, deleted), carved files and lost folders left out.
inline void TreePaths(IKivFileNode* pDir, const std::string& prefix, std::map<std::string, FlsEntry>* pOut) {
    for (IKivFileNode* c = pDir->GetFirstChild(); c; c = c->GetNextSibling()) {
        IKivFileAttr* a = c->GetAttr();
        if (a->GetAttrKind() != KIV_ATTR_EXT || std::string(a->GetName()) == KIV_NAME_LOST_DIR) continue;
        std::string path = prefix + a->GetName();
        bool bDir = a->GetAttributes() & KIV_FA_DIRECTORY;
        (*pOut)[path] = {bDir ? 'd' : 'r', (a->GetRecordState() & KIV_REC_DELETED) != 0};
        if (bDir) TreePaths(c, path + "/", pOut);
    }
}

using Scanned = KivScannedVolume<CKivExtScanner, CKivScanResPartExt>;

// Takes the caller's reference to pStor.
inline void ScanStorage(IKivDevStor* pStor, Scanned* out) {
    out->Scan(pStor, static_cast<CKivExtScanner*>(CreateExtScanner()));
}

inline void ScanImage(const std::string& path, Scanned* out, uint32_t nSectorSize = 512) {
    auto* p = new KivFileDevStor(path, nSectorSize);
    ASSERT_TRUE(p->IsOpen()) << path;
    ScanStorage(p, out);
}

using Recovered = KivRecoveredTree;

inline void RecoverAll(Scanned& s, Recovered* out) { KivRecoverTree(s.pRoot, s.pStor.get(), "ext", out); }

// Every live entry The Sleuth Kit lists is in the tree, live, and nothing live is there that it
// does not list; every regular file under src comes back byte for byte.
inline void ExpectLiveTree(const TempDir& t, Scanned& s, const std::string& img = "img") {
    ASSERT_NE(s.pRoot, nullptr);
    std::map<std::string, FlsEntry> fls = Fls(t, img), ours;
    TreePaths(s.pRoot, "", &ours);
    size_t nLive = 0;
    for (const auto& [path, e] : fls) {
        if (e.bDeleted) continue;
        ++nLive;
        auto it = ours.find(path);
        ASSERT_NE(it, ours.end()) << path << " missing; tree:\n" << Dump(s.pRoot);
        EXPECT_FALSE(it->second.bDeleted) << path;
        EXPECT_EQ(it->second.cType == 'd', e.cType == 'd') << path;
    }
    for (const auto& [path, e] : ours) {
        if (e.bDeleted) continue;
        EXPECT_TRUE(fls.count(path) && !fls[path].bDeleted) << path << " is not on the volume";
    }
    EXPECT_GT(nLive, 3u);
    EXPECT_EQ(Child(s.pRoot, KIV_NAME_LOST_DIR), nullptr) << "a sound volume has nothing lost\n" << Dump(s.pRoot);

    Recovered out;
    RecoverAll(s, &out);
    size_t nFiles = 0;
    for (const auto& f : std::filesystem::recursive_directory_iterator(t.dir / "src")) {
        if (!f.is_regular_file() || f.is_symlink()) continue;
        std::string rel = std::filesystem::relative(f.path(), t.dir / "src").string();
        ++nFiles;
        EXPECT_TRUE(ReadFile(out.Out(rel)) == ReadFile(f.path().string())) << rel << " differs";
        EXPECT_FALSE(out.Damaged(rel)) << rel;
    }
    EXPECT_GT(nFiles, 0u);
    EXPECT_TRUE(out.cb.failed.empty()) << out.cb.failed.front();
}

}  // namespace kivext_test
