// Scan and recovery end to end: the engine scans a page-cached image with every scanner and type,
// builds the results and recovers every file of them into a folder; `cp -r` then copies that
// folder. Both write the same bytes to the same file system, so the ratio tells what finding the
// files costs beyond copying them. Best of a few alternating rounds.
//
// usage: scan-recover IMAGE [--runs N] [--work DIR]
// IMAGE is best the FAT bench image (tests' make-fat-images --bench); DIR (default a new folder
// under /tmp, removed after) receives the recovered files and their copy.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CKivScanDev.h"
#include "KivMemDevStor.h"
#include "KivScanConfig.h"

namespace fs = std::filesystem;

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class QuietScan : public IKivScanCallBack {
public:
    void SetPos(uint64_t n) override { nDone = n; }
    void SetRange(uint64_t, uint64_t hi) override { nBlocks = hi; }
    int IsCancelled() override { return 0; }
    void OnBlockDone(const uint64_t*) override {}
    void OnScanEnd() override {}
    uint64_t nDone = 0, nBlocks = 0;
};

class QuietTree : public IKivEnumResFilesCallback {
public:
    int SetPhase(const char*, uint64_t) override { return 0; }
    int SetProgress(uint64_t) override { return 0; }
    void OnPhaseEnd() override {}
    int IsCancelled() override { return 0; }
};

class QuietRecover : public IKivFileRecoverCallback {
public:
    int OnFileDone(uint32_t n) override { return nFiles += n, 0; }
    int OnBytesWritten(uint64_t n) override { return nBytes += n, 0; }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return 0; }
    int IsCancelled() override { return 0; }
    void OnFileFailed(const char*) override { ++nFailed; }
    uint64_t nFiles = 0, nBytes = 0, nFailed = 0;
};

struct Round {
    double dScan = -1, dTree = 0, dRecover = 0;
    uint64_t nFiles = 0, nBytes = 0, nFailed = 0;
};

// Scan, results and recovery of everything into out; dScan < 0 on failure.
Round ScanAndRecover(const std::string& image, const fs::path& out) {
    Round r;
    std::vector<CKivScanDev::ScannerMaker> makers{CreateFatScanner, CreateNtfsScanner, CreateExFatScanner,
                                                  CreateExtScanner, CreateRawScanner};
    auto* pDev = new KivFileDevStor(image);
    auto* pEngine = new CKivScanDev(std::move(makers));
    KivFilterSettings filter;
    filter.nMode = 2;  // every type
    QuietScan scanCb;
    QuietTree treeCb;
    QuietRecover recCb;
    std::vector<CKivScanResPart*> parts;
    IKivFsNode* pRoot = nullptr;
    bool bOk = false;
    double t0 = Now(), t1 = 0, t2 = 0;
    if (pDev->IsOpen() && KivSucceeded(pEngine->Init(pDev)) && KivSucceeded(pEngine->DoScan(&filter, &scanCb)) &&
        KivSucceeded(pEngine->WaitForScanEnd(0)) && scanCb.nDone == scanCb.nBlocks) {
        t1 = Now();
        bOk = KivSucceeded(pEngine->EnumResParts(&parts)) &&
              KivSucceeded(pEngine->EnumResFiles(0, &parts, &treeCb, &pRoot)) && pRoot;
        t2 = Now();
        IKivFileNode* pPart = bOk ? pRoot->GetFirstChild() : nullptr;
        for (; pPart && bOk; pPart = pPart->GetNextSibling()) {
            if (pPart->IsFsNode() != 1) continue;
            auto* pFs = static_cast<IKivFsNode*>(pPart);
            if (pFs->GetAttr()->GetCheckState() != KIV_CHECK_FULL) pFs->ToggleCheck(0);  // every file
            char created[4096] = {};
            bOk = KivSucceeded(pEngine->DoRecoverDir(pPart, &recCb, out.c_str(), created, sizeof created)) &&
                  KivSucceeded(pEngine->WaitForRecoverEnd(0));
        }
    }
    double t3 = Now();
    if (bOk) {
        r.dScan = t1 - t0;
        r.dTree = t2 - t1;
        r.dRecover = t3 - t2;
        r.nFiles = recCb.nFiles;
        r.nBytes = recCb.nBytes;
        r.nFailed = recCb.nFailed;
    }
    for (CKivScanResPart* p : parts) delete p;
    KivSafeRelease(pRoot);
    pEngine->Uninit();
    pEngine->Release();
    pDev->Release();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    std::string image;
    fs::path work;
    int nRuns = 3;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            nRuns = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--work" && i + 1 < argc) {
            work = argv[++i];
        } else if (!a.empty() && a[0] != '-' && image.empty()) {
            image = a;
        } else {
            std::fprintf(stderr, "usage: scan-recover IMAGE [--runs N] [--work DIR]\n");
            return 1;
        }
    }
    if (image.empty()) {
        std::fprintf(stderr, "usage: scan-recover IMAGE [--runs N] [--work DIR]\n");
        return 1;
    }
    bool bOwnDir = work.empty();
    if (bOwnDir) {
        std::string tmpl = "/tmp/kivbench.XXXXXX";
        if (!::mkdtemp(tmpl.data())) return 1;
        work = tmpl;
    }
    std::error_code ec;
    fs::create_directories(work, ec);
    if (std::system(("cat '" + image + "' > /dev/null").c_str()) != 0) return 1;  // page-cached
    if (FILE* f = ::popen("uptime", "r")) {
        char line[256] = "?\n";
        if (!std::fgets(line, sizeof line, f)) std::strcpy(line, "?\n");
        ::pclose(f);
        std::printf("load      %s", line);
    }
    const fs::path out = work / "out", copy = work / "copy";
    Round best;
    double dCp = 1e30;
    int rc = 0;
    for (int round = 0; round < nRuns && rc == 0; ++round) {
        fs::remove_all(out, ec);
        fs::create_directories(out, ec);
        ::sync();
        Round r = ScanAndRecover(image, out);
        if (r.dScan < 0) {
            std::fprintf(stderr, "scan-recover: the scan or the recovery failed\n");
            rc = 2;
            break;
        }
        if (best.dScan < 0 || r.dScan + r.dTree + r.dRecover < best.dScan + best.dTree + best.dRecover) best = r;
        fs::remove_all(copy, ec);
        ::sync();
        double t0 = Now();
        if (std::system(("cp -r '" + out.string() + "' '" + copy.string() + "'").c_str()) != 0) {
            rc = 3;
            break;
        }
        dCp = std::min(dCp, Now() - t0);
    }
    if (rc == 0) {
        double dAll = best.dScan + best.dTree + best.dRecover;
        std::printf("scan      %.3f s  results %.3f s  recovery %.3f s  (%llu files, %.1f MB, %llu failed)\n",
                    best.dScan, best.dTree, best.dRecover, static_cast<unsigned long long>(best.nFiles),
                    best.nBytes / 1e6, static_cast<unsigned long long>(best.nFailed));
        std::printf("together  %.3f s = %.1f MB/s\n", dAll, best.nBytes / 1e6 / dAll);
        std::printf("cp -r     %.3f s = %.1f MB/s\n", dCp, best.nBytes / 1e6 / dCp);
        std::printf("ratio     %.0f %% of cp -r (target >= 100 %%)\n", 100.0 * dCp / dAll);
    }
    fs::remove_all(out, ec);
    fs::remove_all(copy, ec);
    if (bOwnDir) fs::remove_all(work, ec);
    return rc;
}
