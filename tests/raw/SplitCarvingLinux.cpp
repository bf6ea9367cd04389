#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "KivMemDevStor.h"
#include "KivScanResult.h"
#include "Model/IKivAttrDataInfo.h"
#include "Raw/KivRawTree.h"
#include "RawTestSupport.h"

namespace {

struct SplitEntry {
    std::string kind;  // whole, split, overwritten
    uint64_t nStart = 0, nSize = 0, nCut = 0, nGap = 0;
    std::string path;
};

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// The carved files by first sector: attribute and the bytes their runs give.
struct Carved {
    IKivFileAttr* pAttr = nullptr;
    std::vector<uint8_t> bytes;
    size_t nRuns = 0;
};

std::map<uint64_t, Carved> CarvedFiles(IKivFileNode* pRoot, const std::vector<uint8_t>& image) {
    std::map<uint64_t, Carved> out;
    std::function<void(IKivFileNode*)> walk = [&](IKivFileNode* p) {
        for (IKivFileNode* c = p->GetFirstChild(); c; c = c->GetNextSibling()) {
            if (c->GetAttr()->GetAttributes() & KIV_FA_DIRECTORY) {
                walk(c);
                continue;
            }
            std::unique_ptr<IDataRunList> runs(c->GetAttr()->GetDataRunList());
            Carved f;
            f.pAttr = c->GetAttr();
            uint64_t nFirst = ~0ull;
            for (const KivDataRun* r = runs ? runs->First() : nullptr; r; r = runs->Next(), ++f.nRuns) {
                if (nFirst == ~0ull) nFirst = r->nStart;
                uint64_t a = r->nStart * 512, b = std::min<uint64_t>((r->nStart + r->nLength) * 512, image.size());
                if (a < b) f.bytes.insert(f.bytes.end(), image.begin() + a, image.begin() + b);
            }
            f.bytes.resize(std::min<uint64_t>(f.bytes.size(), f.pAttr->GetSize()));
            out[nFirst] = std::move(f);
        }
    };
    walk(pRoot);
    return out;
}

}  // namespace

// Photos made by ffmpeg in a raw image: the split JPEG and PNG come back joined byte for byte
// with their two pieces, the whole ones as they were, and the one whose rest was overwritten is
// damaged at its break, never joined.
TEST(SplitCarvingLinux, SplitPhotosJoinedWholeKeptOverwrittenDamaged) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("kiv-split-carve-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string img = (dir / "split.img").string(), man = img + ".tsv";
    ASSERT_EQ(std::system(("python3 '" KIV_SOURCE_DIR "/scripts/make-split-carving' '" + img + "' '" + man + "'").c_str()), 0);
    std::vector<SplitEntry> manifest;
    std::ifstream in(man);
    for (std::string line; std::getline(in, line);) {
        std::istringstream ls(line);
        SplitEntry e;
        ls >> e.kind >> e.nStart >> e.nSize >> e.nCut >> e.nGap >> e.path;
        manifest.push_back(e);
    }
    ASSERT_EQ(manifest.size(), 6u);

    SettingsGuard guard;
    KivScanSettings::Get().selectedTypeIds = {33, 47};
    KivFileDevStor dev(img);
    ASSERT_TRUE(dev.IsOpen());
    CRawFileList list;
    RunRawScan(&dev, &list, 8192);
    TestProgress progress;
    IKivFileNode* pRoot = BuildRawTree(nullptr, &progress, &dev, &list);
    ASSERT_NE(pRoot, nullptr);
    EXPECT_EQ(progress.title, "Checking the content of carved files");
    std::vector<uint8_t> image = ReadAll(img);
    auto files = CarvedFiles(pRoot, image);

    for (const SplitEntry& e : manifest) {
        auto it = files.find(e.nStart);
        ASSERT_NE(it, files.end()) << e.path;
        const Carved& f = it->second;
        uint8_t state = f.pAttr->GetRecordState();
        auto* pInfo = dynamic_cast<IKivAttrDataInfo*>(f.pAttr);
        ASSERT_NE(pInfo, nullptr);
        const char* pszDamage = pInfo->GetDataDamage();
        if (e.kind == "overwritten") {
            EXPECT_FALSE(state & KIV_REC_JOINED) << e.path;
            EXPECT_TRUE(state & KIV_REC_DAMAGED) << e.path;
            ASSERT_NE(pszDamage, nullptr) << e.path;
            EXPECT_EQ(std::string(pszDamage).rfind("content breaks at byte ", 0), 0u) << pszDamage;
            continue;
        }
        EXPECT_EQ(pszDamage, nullptr) << e.path << ": " << pszDamage;
        EXPECT_EQ(f.bytes, ReadAll(e.path)) << e.path;
        EXPECT_EQ(f.pAttr->GetSize(), e.nSize) << e.path;
        EXPECT_EQ((state & KIV_REC_JOINED) != 0, e.kind == "split") << e.path;
        EXPECT_EQ(f.nRuns, e.kind == "split" ? 2u : 1u) << e.path;
    }
    pRoot->Release();
    fs::remove_all(dir);
}
