// FAT scanner cost: scan MB/s with the FAT scanner alone and with every scanner, beside a plain
// sequential read of the same image, all in one run with the image in the page cache.
// Usage: fat-throughput [IMAGE]   (default: a 1 GiB FAT32 image made by scripts/make-fat-images)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "CKivScanDev.h"
#include "KivMemDevStor.h"
#include "KivQuietCallbacks.h"

namespace {

using QuietCallback = KivQuietScan;

// Reads nothing itself: what the engine's frame and cache cost without any scanner work.
struct NullScanner : IKivFsScanner {
    int SetStorage(IKivDevStor*) override { return 0; }
    int SetBlockSectors(uint32_t) override { return 0; }
    int BeginScan() override { return 0; }
    int AnalyzeBlock(uint64_t, uint64_t, uint64_t*) override { return 0; }
    int EnumParts(std::vector<CKivScanResPart*>*) override { return 0; }
    int SetRawFileList(CRawFileList*) override { return 0; }
    int SaveState(IKivStream*) override { return 0; }
    int LoadState(IKivStream*) override { return 0; }
    int GetScannerType() override { return KIV_SCANNER_EXT2; }
};

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double PlainRead(KivFileDevStor* pStor) {
    const uint64_t nBlock = 8192;
    std::vector<uint8_t> buf(nBlock * 512);
    uint64_t n = pStor->GetSectorCount();
    auto t0 = std::chrono::steady_clock::now();
    for (uint64_t s = 0; s < n; s += nBlock) pStor->ReadSectors(buf.data(), s, std::min(nBlock, n - s));
    return Seconds(t0);
}

// One engine scan with the given scanners; answers seconds, and the partitions found in *pParts.
double EngineScan(KivFileDevStor* pStor, std::vector<CKivScanDev::ScannerMaker> makers, size_t* pParts) {
    auto* pEngine = makers.empty() ? new CKivScanDev() : new CKivScanDev(std::move(makers));
    QuietCallback cb;
    KivFilterSettings filter;
    pEngine->Init(pStor);
    auto t0 = std::chrono::steady_clock::now();
    pEngine->DoScan(&filter, &cb);
    pEngine->WaitForScanEnd(0);
    double s = Seconds(t0);
    std::vector<CKivScanResPart*> parts;
    pEngine->EnumResParts(&parts);
    *pParts = parts.size();
    for (auto* p : parts) delete p;
    pEngine->Uninit();
    pEngine->Release();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::string image = argc > 1 ? argv[1] : "/tmp/undelia-fat-bench.img";
    struct stat st {};
    if (::stat(image.c_str(), &st) != 0) {
        std::string src = __FILE__;  // <source>/bench/fat-throughput.cpp
        std::string cmd = src.substr(0, src.rfind("/bench/")) + "/scripts/make-fat-images --bench " + image;
        std::printf("making %s ...\n", image.c_str());
        if (std::system(cmd.c_str()) != 0) return 1;
    }
    auto* pStor = new KivFileDevStor(image);
    if (!pStor->IsOpen()) {
        std::fprintf(stderr, "cannot open %s\n", image.c_str());
        return 1;
    }
    double mb = pStor->GetSectorCount() * 512.0 / (1 << 20);
    PlainRead(pStor);  // warm the page cache
    double tRead = 1e9, tFrame = 1e9, tFat = 1e9, tAll = 1e9;
    size_t nFatParts = 0, nAllParts = 0, nNone = 0;
    for (int round = 0; round < 3; ++round) {
        tRead = std::min(tRead, PlainRead(pStor));
        tFrame = std::min(tFrame, EngineScan(pStor, {[] { return new NullScanner(); }}, &nNone));
        tFat = std::min(tFat, EngineScan(pStor, {CreateFatScanner}, &nFatParts));
        tAll = std::min(tAll, EngineScan(pStor, {}, &nAllParts));
    }
    std::printf("image           %s (%.0f MiB)\n", image.c_str(), mb);
    std::printf("plain read      %8.1f MB/s\n", mb / tRead);
    std::printf("engine frame    %8.1f MB/s  (%.0f %% of plain read, no scanner work)\n", mb / tFrame,
                100.0 * tRead / tFrame);
    std::printf("FAT scanner     %8.1f MB/s  (%.0f %% of plain read, %zu partitions)\n", mb / tFat,
                100.0 * tRead / tFat, nFatParts);
    std::printf("all scanners    %8.1f MB/s  (%.0f %% of plain read, %zu partitions)\n", mb / tAll,
                100.0 * tRead / tAll, nAllParts);
    pStor->Release();
    return 0;
}
