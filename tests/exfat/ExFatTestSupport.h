// Shared helpers of the exFAT tests: the images made by scripts/make-exfat-images with their
// manifests, a scan by the exFAT scanner alone with the engine's selection, the tree of the volume
// it selects, and recovery of that tree into a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ExFat/CKivExFATScanner.h"
#include "IKivScanDev.h"
#include "KivMemDevStor.h"
#include "KivPortable.h"
#include "KivTestTree.h"
#include "KivScannedVolume.h"
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

using Scanned = KivScannedVolume<CKivExFATScanner, CKivScanResPartExFAT>;

// Takes the caller's reference to pStor.
inline void ScanStorage(IKivDevStor* pStor, Scanned* out, uint32_t nBlock = 0) {
    out->Scan(pStor, static_cast<CKivExFATScanner*>(CreateExFatScanner()), nBlock);
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

using Recovered = KivRecoveredTree;

inline void RecoverAll(Scanned& s, Recovered* out) { KivRecoverTree(s.pRoot, s.pStor.get(), "exfat", out); }

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
        double t = KivFileMTimeSec(got);
        ASSERT_GE(t, 0.0) << got;
        EXPECT_NEAR(t, double(e["mtime"]), 0.004) << path << ": 10 ms increments and UTC offsets";
    }
    EXPECT_GT(nFiles, 0u);
    EXPECT_TRUE(out.cb.failed.empty()) << out.cb.failed.front();
}

}  // namespace kivexfat_test
