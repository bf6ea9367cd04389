// Header recognition speed: every sector of a buffer of random data (no sector starts with zero
// bytes, none is a known header) offered to the analyser list of a default scan (type ids 1..73),
// on one core. Prints GB/s through the first-byte dispatch and by asking every analyser in order.
#include <chrono>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

#include "Analysers/KivAnalyserTable.h"

namespace {

constexpr size_t kSector = 512;
constexpr size_t kBytes = 64u << 20;
constexpr int kRounds = 8;

template <typename Fn>
double GigabytesPerSecond(const std::vector<uint8_t>& data, Fn find, size_t* pHits) {
    CRawFileInfo info;
    size_t nHits = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < kRounds; ++r)
        for (size_t off = 0; off < data.size(); off += kSector)
            if (find(std::span<const uint8_t>(data.data() + off, kSector), &info)) ++nHits;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    *pHits = nHits;
    return double(data.size()) * kRounds / s / 1e9;
}

}  // namespace

int main() {
    std::vector<uint32_t> ids(73);
    std::iota(ids.begin(), ids.end(), 1u);
    RawAnalyserRegistry& reg = RawAnalyserRegistry::Get();
    reg.Rebuild(ids);
    const KivAnalyserDispatch& d = reg.Dispatch();

    std::mt19937_64 rng(2024);
    std::vector<uint8_t> data(kBytes);
    for (size_t off = 0; off < kBytes; off += kSector) {
        CRawFileInfo info;
        std::span<uint8_t> s(data.data() + off, kSector);
        do {
            for (size_t i = 0; i < kSector; i += 8) {
                uint64_t v = rng();
                for (int k = 0; k < 8; ++k) s[i + k] = uint8_t(v >> (8 * k));
            }
            if (s[0] == 0) s[0] = 1;
        } while (d.FindInOrder(s, &info));
    }

    size_t nFast = 0, nSlow = 0;
    double fast = GigabytesPerSecond(data, [&](auto s, auto* p) { return d.Find(s, p) != nullptr; }, &nFast);
    double slow = GigabytesPerSecond(data, [&](auto s, auto* p) { return d.FindInOrder(s, p) != nullptr; }, &nSlow);
    std::printf("analysers in list: %zu\n", reg.Size());
    std::printf("CheckHeader, first-byte dispatch: %.2f GB/s (%zu hits)\n", fast, nFast);
    std::printf("CheckHeader, every analyser in order: %.2f GB/s (%zu hits)\n", slow, nSlow);
    return 0;
}
