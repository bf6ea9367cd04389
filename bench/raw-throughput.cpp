// Throughput of the carving scanner with the default type selection over a 1 GiB image of real
// files between random data (and, for comparison, with only the types of the first 73 ids, the
// selection before the formats of today's phones, cameras and desktops joined), beside a plain sequential read of the same image in the same run
// (page cache warmed first, so both measure work in memory; then both again with the image
// dropped from the page cache before each pass, so both read the disk), and the peak memory.
//   raw-throughput [image]   (without an image, one is made in /tmp and removed after)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "IKivFsScanner.h"
#include "KivMemDevStor.h"
#include "Model/CRawFileInfo.h"
#include "Model/KivScanSettings.h"
#include "Raw/CKivRAWScanner.h"
#include "Raw/KivRawTree.h"

namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kBlockSectors = KivScanBlockSectors(kSectorSize);
constexpr uint64_t kImageBytes = 1ull << 30;
constexpr uint64_t kFilesEvery = 16ull << 20;  // one copy of the sample files per 16 MiB

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long PeakRssKiB() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// Random data with the sample image (real JPEG, PNG, PDF, ZIP, Office and compound files) placed
// every kFilesEvery bytes.
bool MakeImage(const std::string& path) {
    std::string sample = path + ".sample";
    // The generator sits in the source tree this file was compiled from.
    std::string src = __FILE__;
    src = src.substr(0, src.rfind("/bench/"));
    std::string cmd = "python3 '" + src + "/scripts/make-carving-image' '" + sample +
                      "' '" + sample + ".tsv'";
    if (std::system(cmd.c_str()) != 0) return false;
    std::ifstream in(sample, std::ios::binary);
    std::vector<uint8_t> files((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(sample.c_str());
    // The third set's samples after them, each on a sector of its own.
    for (const char* name : {"c_photo.heic", "c_clip.mkv", "c_tone.flac", "c_tone.ogg", "c_files.7z", "c_numbers.xz",
                             "c_numbers.bz2", "c_shop.sqlite", "c_letter.odt", "c_photo.webp", "c_members.gz"}) {
        std::ifstream f(src + "/tests/data/analysers/" + name, std::ios::binary);
        files.insert(files.end(), std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        files.resize((files.size() + kSectorSize - 1) / kSectorSize * kSectorSize, 0x5A);
    }
    std::remove((sample + ".tsv").c_str());

    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::vector<uint8_t> chunk(kFilesEvery);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    bool ok = true;
    for (uint64_t off = 0; ok && off < kImageBytes; off += chunk.size()) {
        for (size_t i = 0; i < chunk.size(); i += 8) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            std::memcpy(chunk.data() + i, &x, 8);
        }
        std::copy(files.begin(), files.end(), chunk.begin());
        ok = ::write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size());
    }
    return ::close(fd) == 0 && ok;
}

// Asks the kernel to forget the image's cached pages (clean pages go without privileges).
void DropCache(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

uint64_t PlainRead(IKivDevStor* pDev) {
    std::vector<uint8_t> buf(static_cast<size_t>(kBlockSectors) * kSectorSize);
    uint64_t nSecs = pDev->GetSectorCount();
    uint64_t total = 0;
    for (uint64_t f = 0; f < nSecs; f += kBlockSectors) {
        uint64_t n = std::min<uint64_t>(kBlockSectors, nSecs - f);
        if (pDev->ReadSectors(buf.data(), f, n)) total += n * kSectorSize;
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : "/tmp/raw-throughput-" + std::to_string(::getpid()) + ".img";
    bool bMade = argc <= 1;
    if (bMade && !MakeImage(path)) {
        std::fprintf(stderr, "cannot make %s\n", path.c_str());
        return 1;
    }
    auto* pDev = new KivFileDevStor(path, kSectorSize);
    if (!pDev->IsOpen()) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    double dMiB = static_cast<double>(pDev->GetSectorCount()) * kSectorSize / (1 << 20);

    auto plainPass = [&](bool bCold) {
        if (bCold) DropCache(path);
        auto t0 = std::chrono::steady_clock::now();
        PlainRead(pDev);
        return Seconds(t0);
    };
    CRawFileList list;
    uint64_t nMeasured = 0;
    long nRssBefore = 0, nRssScan = 0;
    auto scanPass = [&](bool bCold) {
        if (bCold) DropCache(path);
        list.Clear();
        IKivFsScanner* pScanner = CreateRawScanner();
        uint64_t stats[16] = {};
        if (nRssBefore == 0) nRssBefore = PeakRssKiB();
        auto t0 = std::chrono::steady_clock::now();
        pScanner->SetStorage(pDev);
        pScanner->SetBlockSectors(kBlockSectors);
        pScanner->SetRawFileList(&list);
        pScanner->BeginScan();
        uint64_t nSecs = pDev->GetSectorCount();
        for (uint64_t f = 0; f < nSecs; f += kBlockSectors)
            pScanner->AnalyzeBlock(f, std::min<uint64_t>(kBlockSectors, nSecs - f), stats);
        pScanner->EndScan();
        double d = Seconds(t0);
        nRssScan = PeakRssKiB();
        pScanner->Release();
        nMeasured = 0;
        for (size_t i = 0; i < list.Size(); ++i) nMeasured += list.At(i)->m_nSize != 0;
        return d;
    };

    // Best of three: the machine may be shared.
    plainPass(false);  // warm the page cache
    double dPlain = 1e9, dScan = 1e9, dScanClassic = 1e9;
    const std::vector<uint32_t> defaults = KivScanSettings::Get().selectedTypeIds;
    std::vector<uint32_t> classic;
    for (uint32_t id = 1; id <= 73; ++id) classic.push_back(id);
    for (int i = 0; i < 3; ++i) {
        dPlain = std::min(dPlain, plainPass(false));
        KivScanSettings::Get().selectedTypeIds = classic;
        dScanClassic = std::min(dScanClassic, scanPass(false));
        KivScanSettings::Get().selectedTypeIds = defaults;
        dScan = std::min(dScan, scanPass(false));
    }
    auto t0 = std::chrono::steady_clock::now();
    IKivFileNode* pTree = BuildRawTree(nullptr, nullptr, pDev, &list);
    double dTree = Seconds(t0);
    if (pTree) pTree->Release();
    double dPlainCold = 1e9, dScanCold = 1e9;
    for (int i = 0; i < 3; ++i) {
        dPlainCold = std::min(dPlainCold, plainPass(true));
        dScanCold = std::min(dScanCold, scanPass(true));
    }

    std::printf("image                 %.0f MiB (%s)\n", dMiB, path.c_str());
    std::printf("plain read            %8.1f MB/s\n", dMiB / dPlain);
    std::printf("carving scan          %8.1f MB/s  (%.0f %% of plain read)\n", dMiB / dScan,
                100.0 * dPlain / dScan);
    std::printf("carving, ids 1-73 only%8.1f MB/s  (all types: %.0f %% of its speed)\n", dMiB / dScanClassic,
                100.0 * dScanClassic / dScan);
    std::printf("plain read, uncached  %8.1f MB/s\n", dMiB / dPlainCold);
    std::printf("carving scan, uncached%8.1f MB/s  (%.0f %% of plain read)\n", dMiB / dScanCold,
                100.0 * dPlainCold / dScanCold);
    std::printf("files found           %llu (%llu measured during the scan), tree built in %.2f s\n",
                static_cast<unsigned long long>(list.Size()), static_cast<unsigned long long>(nMeasured), dTree);
    std::printf("peak memory           %.1f MiB before the first scan, %.1f MiB after the scans (ring %u MiB + block %u MiB)\n",
                nRssBefore / 1024.0, nRssScan / 1024.0, 20 * (kBlockSectors * kSectorSize >> 20), kBlockSectors * kSectorSize >> 20);
    pDev->Release();
    if (bMade) std::remove(path.c_str());
    return 0;
}
