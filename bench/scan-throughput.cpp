// Scan throughput: a plain sequential read of an image beside a full engine scan of it (block
// cache, scan thread, the chosen scanners), page cache warmed, best of a few runs each.
//
// usage: scan-throughput [IMAGE] [--scanners none|fat,ntfs,exfat,raw] [--types jpg,png,...]
//                        [--size-mib N] [--runs N]
// Without IMAGE a file of N MiB (default 1024) of pseudo-random bytes is made in /tmp and deleted
// at the end. "--scanners none" measures the engine frame alone.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CKivScanDev.h"
#include "KivMemDevStor.h"
#include "KivScanConfig.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool MakeImage(const std::string& path, uint64_t nBytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::vector<uint64_t> buf(4 << 20 >> 3);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (uint64_t done = 0; done < nBytes;) {
        for (uint64_t& v : buf) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = x;
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size() * 8, nBytes - done));
        if (::write(fd, buf.data(), n) != static_cast<ssize_t>(n)) {
            ::close(fd);
            return false;
        }
        done += n;
    }
    return ::close(fd) == 0;
}

// Seconds for one sequential read of the whole file in 4 MiB pieces; negative on failure.
double PlainRead(const std::string& path, uint64_t* pBytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    std::vector<char> buf(4 << 20);
    uint64_t nTotal = 0;
    double t0 = Now();
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;) nTotal += static_cast<uint64_t>(n);
    double t = Now() - t0;
    ::close(fd);
    *pBytes = nTotal;
    return t;
}

class QuietCallback : public IKivScanCallBack {
public:
    void SetPos(uint64_t n) override { nDone = n; }
    void SetRange(uint64_t, uint64_t hi) override { nBlocks = hi; }
    int IsCancelled() override { return 0; }
    void OnBlockDone(const uint64_t* p) override { nItems = p[KIV_STAT_ITEMS_FOUND]; }
    void OnScanEnd() override {}
    uint64_t nDone = 0, nBlocks = 0, nItems = 0;
};

// Seconds for one engine scan; negative on failure.
double EngineScan(const std::string& path, const KivScannerSet& set, const std::vector<std::string>& types,
                  uint64_t* pItems) {
    std::vector<CKivScanDev::ScannerMaker> makers;
    if (set.bFat) makers.emplace_back(CreateFatScanner);
    if (set.bNtfs) makers.emplace_back(CreateNtfsScanner);
    if (set.bExFat) makers.emplace_back(CreateExFatScanner);
    if (set.bRaw) makers.emplace_back(CreateRawScanner);
    auto* pDev = new KivFileDevStor(path);
    auto* pEngine = new CKivScanDev(std::move(makers));
    KivFilterSettings filter;
    filter.nMode = types.empty() ? 2 : 0;
    for (const std::string& s : types) filter.exts.push_back(s.c_str());
    QuietCallback cb;
    double t = -1;
    if (pDev->IsOpen() && KivSucceeded(pEngine->Init(pDev))) {
        double t0 = Now();
        if (KivSucceeded(pEngine->DoScan(&filter, &cb)) && KivSucceeded(pEngine->WaitForScanEnd(0)) &&
            cb.nDone == cb.nBlocks)
            t = Now() - t0;
        pEngine->Uninit();
    }
    pEngine->Release();
    pDev->Release();
    *pItems = cb.nItems;
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    std::string image, scanners;
    std::vector<std::string> types;
    uint64_t nMib = 1024;
    int nRuns = 3;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool bHasValue = i + 1 < argc;
        if (a == "--scanners" && bHasValue) {
            scanners = argv[++i];
        } else if (a == "--types" && bHasValue) {
            std::string list = argv[++i];
            for (size_t p = 0; p <= list.size();) {
                size_t q = list.find(',', p);
                if (q == std::string::npos) q = list.size();
                if (q > p) types.push_back(list.substr(p, q - p));
                p = q + 1;
            }
        } else if (a == "--size-mib" && bHasValue) {
            nMib = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--runs" && bHasValue) {
            nRuns = std::max(1, std::atoi(argv[++i]));
        } else if (!a.empty() && a[0] != '-' && image.empty()) {
            image = a;
        } else {
            std::fprintf(stderr,
                         "usage: scan-throughput [IMAGE] [--scanners none|fat,ntfs,exfat,raw] [--types jpg,...] "
                         "[--size-mib N] [--runs N]\n");
            return 1;
        }
    }
    KivScannerSet set = scanners.empty() ? KivReadScannerSet() : KivParseScannerSet(scanners.c_str());

    bool bMade = image.empty();
    if (bMade) {
        image = "/tmp/undelia-scan-bench-" + std::to_string(::getpid()) + ".img";
        std::printf("making %llu MiB image %s\n", static_cast<unsigned long long>(nMib), image.c_str());
        if (!MakeImage(image, nMib << 20)) {
            std::fprintf(stderr, "scan-throughput: cannot write %s\n", image.c_str());
            ::unlink(image.c_str());
            return 1;
        }
    }

    uint64_t nBytes = 0, nItems = 0;
    int rc = 0;
    if (PlainRead(image, &nBytes) < 0 || nBytes == 0) {  // warms the page cache
        std::fprintf(stderr, "scan-throughput: cannot read %s\n", image.c_str());
        rc = 1;
    } else {
        double dPlain = 1e30, dScan = 1e30;
        for (int r = 0; r < nRuns && rc == 0; ++r) {
            double p = PlainRead(image, &nBytes);
            double s = EngineScan(image, set, types, &nItems);
            if (p < 0 || s < 0) rc = 2;
            dPlain = std::min(dPlain, p);
            dScan = std::min(dScan, s);
        }
        if (rc == 0) {
            double dMb = static_cast<double>(nBytes) / 1e6;
            std::string names = std::string(set.bFat ? "fat " : "") + (set.bNtfs ? "ntfs " : "") + (set.bExFat ? "exfat " : "") +
                                (set.bRaw ? "raw " : "");
            std::printf("image            %s (%.0f MB)\n", image.c_str(), dMb);
            std::printf("scanners         %s\n", names.empty() ? "none (engine frame alone)" : names.c_str());
            std::printf("plain read       %8.1f MB/s\n", dMb / dPlain);
            std::printf("engine scan      %8.1f MB/s  (%llu items found)\n", dMb / dScan,
                        static_cast<unsigned long long>(nItems));
            std::printf("ratio            %8.1f %%\n", 100.0 * dPlain / dScan);
        } else {
            std::fprintf(stderr, "scan-throughput: the scan failed\n");
        }
    }
    if (bMade) ::unlink(image.c_str());
    return rc;
}
