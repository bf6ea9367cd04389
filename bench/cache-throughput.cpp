// Throughput of the scan's read path: the device read block by block through the read-ahead cache
// exactly as the scan thread does, against a plain sequential read of the same file. The page
// cache is warmed first so both measure the read path, not the disk; one more round of each with
// the file dropped from the page cache shows the device speed.
//   cache-throughput [image]   (without an image, a 1 GiB one is made in /tmp and removed after)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "IKivScanDev.h"
#include "KivMemDevStor.h"
#include "Storage/CKivDevStorCache.h"

namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kBlockSectors = KivScanBlockSectors(kSectorSize);  // the scan's blocks
constexpr uint64_t kImageBytes = 1ull << 30;
constexpr int kRounds = 3;

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool MakeImage(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::vector<uint8_t> chunk(4 << 20);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    bool ok = true;
    for (uint64_t off = 0; ok && off < kImageBytes; off += chunk.size()) {
        for (size_t i = 0; i < chunk.size(); i += 8) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            std::copy_n(reinterpret_cast<uint8_t*>(&x), 8, chunk.data() + i);
        }
        ok = ::write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size());
    }
    ok = ok && ::fsync(fd) == 0;  // no write-back may run while the reads are timed
    return ::close(fd) == 0 && ok;
}

// Plain sequential read in block-sized pieces; answers bytes read.
uint64_t PlainRead(const std::string& path, std::vector<uint8_t>& buf) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    uint64_t total = 0;
    ssize_t r;
    while ((r = ::read(fd, buf.data(), buf.size())) > 0) total += static_cast<uint64_t>(r);
    ::close(fd);
    return total;
}

// The scan thread's loop; answers bytes handed to the scanners.
uint64_t CacheRead(const std::string& path, std::vector<uint8_t>& buf) {
    auto* dev = new KivFileDevStor(path, kSectorSize);
    if (!dev->IsOpen()) {
        dev->Release();
        return 0;
    }
    auto* cache = new CKivDevStorCache(dev);
    cache->SetBlockSectors(kBlockSectors);
    cache->StartReadAhead(0);
    const uint64_t nSectors = cache->GetSectorCount();
    uint64_t total = 0;
    for (int64_t i = 0; cache->IsBlockIndexValid(i); ++i) {
        cache->SetCurCacheBlock(i);
        uint64_t first = uint64_t(i) * kBlockSectors;
        uint64_t n = std::min<uint64_t>(kBlockSectors, nSectors - first);
        if (!cache->ReadSectors(buf.data(), first, n)) break;
        total += n * kSectorSize;
    }
    cache->StopReadAhead();
    cache->Release();
    dev->Release();
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    bool made = false;
    if (argc > 1) {
        path = argv[1];
    } else {
        path = "/tmp/cache-throughput." + std::to_string(::getpid()) + ".img";
        std::printf("making %s (%llu MiB)\n", path.c_str(), static_cast<unsigned long long>(kImageBytes >> 20));
        if (!MakeImage(path)) {
            std::fprintf(stderr, "cannot make %s\n", path.c_str());
            ::unlink(path.c_str());
            return 1;
        }
        made = true;
    }
    std::vector<uint8_t> buf(uint64_t(kBlockSectors) * kSectorSize);
    uint64_t bytes = PlainRead(path, buf);  // warms the page cache
    if (bytes == 0) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    double bestPlain = 1e30, bestCache = 1e30;
    for (int r = 0; r < kRounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        PlainRead(path, buf);
        bestPlain = std::min(bestPlain, Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        uint64_t got = CacheRead(path, buf);
        bestCache = std::min(bestCache, Seconds(t0));
        if (got < bytes) std::fprintf(stderr, "cache path read %llu of %llu bytes\n",
                                      static_cast<unsigned long long>(got), static_cast<unsigned long long>(bytes));
    }
    // For comparison, one round each with the file dropped from the page cache: the device speed.
    auto evict = [&] {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) ::fdatasync(fd), ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), ::close(fd);
    };
    evict();
    auto t0 = std::chrono::steady_clock::now();
    PlainRead(path, buf);
    double coldPlain = Seconds(t0);
    evict();
    t0 = std::chrono::steady_clock::now();
    CacheRead(path, buf);
    double coldCache = Seconds(t0);

    double mb = static_cast<double>(bytes) / 1e6;
    double plain = mb / bestPlain, cached = mb / bestCache;
    std::printf("image: %s, %.0f MB, best of %d rounds\n", path.c_str(), mb, kRounds);
    std::printf("plain sequential read: %.0f MB/s\n", plain);
    std::printf("read-ahead cache path: %.0f MB/s\n", cached);
    std::printf("ratio: %.1f %% (target >= 90 %%)\n", 100.0 * cached / plain);
    std::printf("not in page cache: plain %.0f MB/s, cache path %.0f MB/s, ratio %.1f %%\n", mb / coldPlain,
                mb / coldCache, 100.0 * coldPlain / coldCache);
    if (made) ::unlink(path.c_str());
    return 0;
}
