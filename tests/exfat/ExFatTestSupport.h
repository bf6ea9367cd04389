// Shared helpers of the exFAT tests: the images made by scripts/make-exfat-images with their
// manifests, a scan by the exFAT scanner alone with the engine's selection, the tree of the volume
// it selects, and recovery of that tree into a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CKivFileRecover.h"
#include "CKivRecoverNames.h"
#include "ExFat/CKivExFATScanner.h"
#include "IKivScanDev.h"
#include "KivMemDevStor.h"
#include "KivTestTree.h"
#include "KivPartSelection.h"
#include "KivTestImages.h"

namespace kivexfat_test {

using kivtest::Child;
using kivtest::Dump;
using kivtest::Find;
using kivtest::ReadFile;

inline const std::string& ImageDir() {
    static std::string dir = KivTestImageDir("make-exfat-images", "exfat-test-images");
    return dir;
}

inline nlohmann::json Manifest(const std::string& image) {
    std::ifstream f(ImageDir() + "/" + image + ".json");
    return nlohmann::json::parse(f);
}

// The scanner fed the whole storage in blocks, its partitions scored and selected as the engine
// does, and the tree of the first selected one.
struct Scanned {
    struct Releaser {
        void operator()(IKivDevStor* p) const { p->Release(); }
    };
    std::unique_ptr<IKivDevStor, Releaser> pStor;
    CKivExFATScanner* pScanner = nullptr;
    std::vector<std::unique_ptr<CKivScanResPart>> parts;
    CKivScanResPartExFAT* pPart = nullptr;  // the first selected
    IKivFsNode* pRoot = nullptr;
    ~Scanned() {
        KivSafeRelease(pRoot);
        KivSafeRelease(pScanner);
    }
    size_t Selected() const {
        size_t n = 0;
        for (auto& p : parts) n += p->m_nSelected;
        return n;
    }
};

// Takes the caller's reference to pStor.
inline void ScanStorage(IKivDevStor* pStor, Scanned* out, uint32_t nBlock = 0) {
    out->pStor.reset(pStor);
    IKivDevStor* s = out->pStor.get();
    if (!nBlock) nBlock = KivScanBlockSectors(s->GetSectorSize());
    out->pScanner = static_cast<CKivExFATScanner*>(CreateExFatScanner());
    out->pScanner->SetStorage(s);
    out->pScanner->SetBlockSectors(nBlock);
    out->pScanner->BeginScan();
    uint64_t stats[16] = {};
    uint64_t n = s->GetSectorCount();
    for (uint64_t f = 0; f < n; f += nBlock) out->pScanner->AnalyzeBlock(f, std::min<uint64_t>(nBlock, n - f), stats);
    out->pScanner->EndScan();
    std::vector<CKivScanResPart*> raw;
    out->pScanner->EnumParts(&raw);
    KivScoreAndSelectParts(raw, n);
    for (CKivScanResPart* p : raw) {
        out->parts.emplace_back(p);
        if (p->m_nSelected && !out->pPart) out->pPart = dynamic_cast<CKivScanResPartExFAT*>(p);
    }
    if (out->pPart) out->pRoot = out->pScanner->BuildTree(out->pPart, s, 0, nullptr);
}

inline void ScanImage(const std::string& image, Scanned* out, uint32_t nSectorSize = 512) {
    ASSERT_FALSE(ImageDir().empty()) << "scripts/make-exfat-images failed";
    auto* p = new KivFileDevStor(ImageDir() + "/" + image + ".img", nSectorSize);
    ScanStorage(p, out);
    ASSERT_TRUE(p->IsOpen());
}

// The image in memory, for tests that damage it.
inline std::vector<uint8_t> ImageBytes(const std::string& image) {
    return ReadFile(ImageDir() + "/" + image + ".img");
}

class RecoverCallback : public IKivFileRecoverCallback {
public:
    int OnFileDone(uint32_t) override { return 0; }
    int OnBytesWritten(uint64_t) override { return 0; }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return 0; }
    int IsCancelled() override { return 0; }
    void OnFileDamaged(const char* p) override { damaged.push_back(p); }
    void OnFileFailed(const char* p) override { failed.push_back(p); }
    std::vector<std::string> damaged, failed;
};

// Recovers the whole partition node into a fresh temporary folder (removed with the object).
struct Recovered {
    std::filesystem::path dir;
    std::string top;  // the folder made for the partition
    RecoverCallback cb;
    ~Recovered() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // Where the entry at path of the tree was written: each name as recovery makes it safe.
    std::string Out(const std::string& path) const {
        std::string s = top;
        for (size_t pos = 0; pos <= path.size();) {
            size_t e = path.find('/', pos);
            if (e == std::string::npos) e = path.size();
            s += "/" + CKivRecoverNames::SafeComponent(path.substr(pos, e - pos));
            pos = e + 1;
        }
        return s;
    }
    bool Damaged(const std::string& path) const { return Listed(cb.damaged, path); }
    bool Failed(const std::string& path) const { return Listed(cb.failed, path); }
    bool Listed(const std::vector<std::string>& list, const std::string& path) const {
        for (const std::string& d : list)
            if (d == Out(path)) return true;
        return false;
    }
};

inline void RecoverAll(Scanned& s, Recovered* out) {
    static std::atomic<int> s_n{0};
    out->dir = std::filesystem::temp_directory_path() /
               ("undelia-exfat-" + std::to_string(::getpid()) + "-" + std::to_string(s_n++));
    std::filesystem::create_directories(out->dir);
    ASSERT_NE(s.pRoot, nullptr);
    if (s.pRoot->GetAttr()->GetCheckState() != KIV_CHECK_FULL) s.pRoot->ToggleCheck(0);  // everything ticked
    CKivFileRecover rec;
    rec.SetDevice(s.pStor.get());
    char created[4096] = {};
    ASSERT_EQ(KivErrNo(rec.DoRecoverDir(s.pRoot, &out->cb, out->dir.c_str(), created, sizeof created)), 0u);
    ASSERT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), 0u);
    out->top = created;
}

// Every entry of the manifest is in the tree with its state; every file that is not known to be
// damaged comes back byte-identical with its modification time, and every damaged one is reported.
inline void ExpectManifest(Scanned& s, const std::string& image) {
    Recovered out;
    RecoverAll(s, &out);
    nlohmann::json man = Manifest(image);
    size_t nFiles = 0;
    for (const auto& e : man["entries"]) {
        std::string path = e["path"];
        IKivFileNode* p = Find(s.pRoot, path);
        ASSERT_NE(p, nullptr) << path << " missing; tree:\n" << Dump(s.pRoot);
        bool bDeleted = e["deleted"];
        EXPECT_EQ((p->GetAttr()->GetRecordState() & KIV_REC_DELETED) != 0, bDeleted) << path;
        if (e["dir"]) continue;
        ++nFiles;
        std::string got = out.Out(path);
        if (e["damaged"]) {
            EXPECT_TRUE(out.Damaged(path)) << path << " was not reported as damaged";
            continue;
        }
        EXPECT_FALSE(out.Damaged(path)) << path;
        std::vector<uint8_t> want = ReadFile(ImageDir() + "/src/" + image + "/" + path);
        EXPECT_TRUE(ReadFile(got) == want) << path << " differs";
        struct stat st {};
        ASSERT_EQ(::stat(got.c_str(), &st), 0) << got;
        double t = st.st_mtim.tv_sec + st.st_mtim.tv_nsec / 1e9;
        EXPECT_NEAR(t, double(e["mtime"]), 0.004) << path << ": 10 ms increments and UTC offsets";
    }
    EXPECT_GT(nFiles, 0u);
    EXPECT_TRUE(out.cb.failed.empty()) << out.cb.failed.front();
}

}  // namespace kivexfat_test
