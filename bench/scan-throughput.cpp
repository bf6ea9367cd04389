// Scan throughput: `cat` of a page-cached image and a plain sequential read of it beside full
// engine scans of it (block cache, scan thread, scanners side by side), each scanner alone and all
// together, best of a few runs each, with the peak memory of each scan (a child process per scan);
// then the same engine over a sparse image of 100 GiB that holds the image's bytes at its start.
//
// usage: scan-throughput [IMAGE] [--scanners none|fat,ntfs,exfat,ext,raw] [--types jpg,png,...]
//                        [--size-mib N] [--runs N] [--sparse-gib N] [--one-by-one]
// Without IMAGE a file of N MiB (default 1024) of pseudo-random bytes is made in /tmp and deleted
// at the end. "--scanners" measures that set only; "--sparse-gib 0" leaves the sparse image out;
// "--one-by-one" runs the scanners one after the other on the scan thread.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
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
                  bool bHoles, bool bSideBySide, uint64_t* pItems) {
    std::vector<CKivScanDev::ScannerMaker> makers = CKivScanDev::MakersOf(set);
    auto* pDev = new KivFileDevStor(path);
    pDev->m_bHoles = bHoles;
    auto* pEngine = new CKivScanDev(std::move(makers));
    pEngine->SetSideBySide(bSideBySide);
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

struct ScanFigures {
    double dSeconds = -1;
    uint64_t nItems = 0;
    long nPeakKiB = 0;
};

// One scan in a child process, so that its peak resident memory is its own.
ScanFigures ScanInChild(const std::string& path, const KivScannerSet& set, const std::vector<std::string>& types,
                        bool bHoles, bool bSideBySide) {
    ScanFigures f;
    int fds[2];
    if (::pipe(fds) != 0) return f;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ScanFigures c;
        c.dSeconds = EngineScan(path, set, types, bHoles, bSideBySide, &c.nItems);
        ssize_t n = ::write(fds[1], &c, sizeof c);
        ::_exit(n == static_cast<ssize_t>(sizeof c) ? 0 : 1);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return f;
    }
    ScanFigures c;
    bool bGot = ::read(fds[0], &c, sizeof c) == static_cast<ssize_t>(sizeof c);
    ::close(fds[0]);
    int status = 0;
    struct rusage ru{};
    if (::wait4(pid, &status, 0, &ru) == pid && bGot && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        f = c;
        f.nPeakKiB = ru.ru_maxrss;
    }
    return f;
}

// Seconds for `cat` of the file into /dev/null; negative on failure.
double CatSeconds(const std::string& path) {
    std::string cmd = "cat '" + path + "' > /dev/null";
    double t0 = Now();
    if (std::system(cmd.c_str()) != 0) return -1;
    return Now() - t0;
}

std::string SetNames(const KivScannerSet& set) {
    std::string names = std::string(set.bFat ? "fat " : "") + (set.bNtfs ? "ntfs " : "") +
                        (set.bExFat ? "exfat " : "") + (set.bExt ? "ext " : "") + (set.bRaw ? "raw " : "");
    if (!names.empty()) names.pop_back();
    return names.empty() ? "none" : names;
}

// A sparse file of nGib GiB whose first bytes are those of the image; empty on failure.
std::string MakeSparse(const std::string& image, uint64_t nGib) {
    std::string path = "/tmp/undelia-scan-bench-sparse-" + std::to_string(::getpid()) + ".img";
    int in = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool bOk = in >= 0 && out >= 0;
    std::vector<char> buf(4 << 20);
    for (ssize_t n; bOk && (n = ::read(in, buf.data(), buf.size())) > 0;)
        bOk = ::write(out, buf.data(), static_cast<size_t>(n)) == n;
    bOk = bOk && ::ftruncate(out, static_cast<off_t>(nGib << 30)) == 0;
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    if (!bOk) {
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    std::string image, scanners;
    std::vector<std::string> types;
    uint64_t nMib = 1024;
    int nRuns = 3;
    uint64_t nSparseGib = 100;
    bool bOneByOne = false;
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
        } else if (a == "--sparse-gib" && bHasValue) {
            nSparseGib = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--one-by-one") {
            bOneByOne = true;
        } else if (a == "--runs" && bHasValue) {
            nRuns = std::max(1, std::atoi(argv[++i]));
        } else if (!a.empty() && a[0] != '-' && image.empty()) {
            image = a;
        } else {
            std::fprintf(stderr,
                         "usage: scan-throughput [IMAGE] [--scanners none|fat,ntfs,exfat,ext,raw] [--types jpg,...] "
                         "[--size-mib N] [--runs N] [--sparse-gib N] [--one-by-one]\n");
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

    uint64_t nBytes = 0;
    int rc = 0;
    std::printf("load             %s", [] {
        static char line[256] = "?\n";
        if (FILE* f = ::popen("uptime", "r")) {
            if (!std::fgets(line, sizeof line, f)) std::strcpy(line, "?\n");
            ::pclose(f);
        }
        return line;
    }());
    if (PlainRead(image, &nBytes) < 0 || nBytes == 0) {  // warms the page cache
        std::fprintf(stderr, "scan-throughput: cannot read %s\n", image.c_str());
        rc = 1;
    } else {
        double dMb = static_cast<double>(nBytes) / 1e6;
        double dPlain = 1e30, dCat = 1e30;
        for (int r = 0; r < nRuns; ++r) {
            dPlain = std::min(dPlain, PlainRead(image, &nBytes));
            double c = CatSeconds(image);
            if (c > 0) dCat = std::min(dCat, c);
        }
        std::printf("image            %s (%.0f MB, page-cached)\n", image.c_str(), dMb);
        std::printf("cat              %8.1f MB/s\n", dMb / dCat);
        std::printf("plain read       %8.1f MB/s\n", dMb / dPlain);
        std::printf("%-22s %10s %8s %10s %10s\n", "scanners", "MB/s", "% of cat", "peak MiB", "items");
        std::vector<KivScannerSet> sets;
        if (!scanners.empty()) {
            sets.push_back(set);
        } else {
            for (const char* p : {"none", "fat", "ntfs", "exfat", "raw"}) sets.push_back(KivParseScannerSet(p));
            sets.push_back(KivParseScannerSet("fat,ntfs,exfat,ext,raw"));
        }
        for (const KivScannerSet& s : sets) {
            ScanFigures best;
            for (int r = 0; r < nRuns; ++r) {
                ScanFigures f = ScanInChild(image, s, types, false, !bOneByOne);
                if (f.dSeconds < 0) {
                    best.dSeconds = -1;
                    break;
                }
                if (best.dSeconds < 0 || f.dSeconds < best.dSeconds) best = f;
            }
            if (best.dSeconds < 0) {
                std::fprintf(stderr, "scan-throughput: the scan failed (%s)\n", SetNames(s).c_str());
                rc = 2;
                continue;
            }
            std::printf("%-22s %10.1f %8.1f %10.1f %10llu\n", SetNames(s).c_str(), dMb / best.dSeconds,
                        100.0 * dCat / best.dSeconds, best.nPeakKiB / 1024.0, static_cast<unsigned long long>(best.nItems));
        }
        if (nSparseGib) {
            std::string sparse = MakeSparse(image, nSparseGib);
            if (sparse.empty()) {
                std::fprintf(stderr, "scan-throughput: cannot make a sparse image in /tmp\n");
                rc = 3;
            } else {
                KivScannerSet all = scanners.empty() ? KivParseScannerSet("fat,ntfs,exfat,ext,raw") : set;
                ScanFigures f = ScanInChild(sparse, all, types, true, !bOneByOne);
                if (f.dSeconds < 0) {
                    std::fprintf(stderr, "scan-throughput: the sparse scan failed\n");
                    rc = 2;
                } else {
                    std::printf("sparse %llu GiB (the image, then a hole), %s: %.1f s, %.0f GB/s, peak %.1f MiB, %llu items\n",
                                static_cast<unsigned long long>(nSparseGib), SetNames(all).c_str(), f.dSeconds,
                                static_cast<double>(nSparseGib << 30) / 1e9 / f.dSeconds, f.nPeakKiB / 1024.0,
                                static_cast<unsigned long long>(f.nItems));
                }
                ::unlink(sparse.c_str());
            }
        }
    }
    if (bMade) ::unlink(image.c_str());
    return rc;
}
