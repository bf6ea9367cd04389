#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "Raw/CKivFragmentJoiner.h"

namespace {

constexpr uint64_t K = 512;

void Chunk(std::vector<uint8_t>* p, const char* type, const std::vector<uint8_t>& d) {
    auto be = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) p->push_back(uint8_t(v >> s));
    };
    be(uint32_t(d.size()));
    size_t at = p->size();
    p->insert(p->end(), type, type + 4);
    p->insert(p->end(), d.begin(), d.end());
    be(uint32_t(crc32(0, p->data() + at, uInt(d.size() + 4))));
}

// A PNG whose image data lies in 4 KiB chunks: a cut inside the first one may sit at any of its
// eight clusters.
std::vector<uint8_t> Png(std::mt19937* rng) {
    const uint32_t w = 64, h = 64;
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < h; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < w * 3; ++x) raw.push_back(uint8_t((*rng)()));
    }
    uLongf n = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(n);
    compress2(z.data(), &n, raw.data(), uLong(raw.size()), 9);
    z.resize(n);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Chunk(&png, "IHDR", {0, 0, 0, w, 0, 0, 0, h, 8, 2, 0, 0, 0});
    for (size_t i = 0; i < z.size(); i += 4096)
        Chunk(&png, "IDAT", std::vector<uint8_t>(z.begin() + i, z.begin() + std::min(z.size(), i + 4096)));
    Chunk(&png, "IEND", {});
    return png;
}

struct Disk {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(400 * K);
    CKivFragmentJoiner Joiner() {
        return CKivFragmentJoiner(
            [this](uint64_t c, uint64_t n, uint8_t* p) {
                if ((c + n) * K > bytes.size()) return false;
                std::memcpy(p, &bytes[c * K], n * K);
                return true;
            },
            [](uint64_t) { return true; }, bytes.size() / K, K);
    }
    std::vector<uint8_t> Read(const std::vector<KivDataRun>& runs, size_t n) {
        std::vector<uint8_t> out;
        for (const KivDataRun& r : runs) out.insert(out.end(), &bytes[r.nStart * K], &bytes[(r.nStart + r.nLength) * K]);
        out.resize(std::min(out.size(), n));
        return out;
    }
};

// The file's first cluster at 10, a deleted file of ten clusters after it, then the rest; the check
// of each cut at the found gap must see the file's own first clusters, not what an earlier try left.
TEST(FragmentJoiner, JoinsAcrossADeletedFileAndReadsBackTheFile) {
    std::mt19937 rng(7);
    std::vector<uint8_t> png = Png(&rng);
    const uint64_t nNeed = (png.size() + K - 1) / K;
    Disk disk;
    for (auto& b : disk.bytes) b = uint8_t(rng());
    std::memcpy(&disk.bytes[10 * K], png.data(), K);
    std::memcpy(&disk.bytes[21 * K], png.data() + K, png.size() - K);
    CKivFragmentJoiner j = disk.Joiner();
    j.SetDeletedExtents({{11, 10}});
    CKivFragmentJoiner::Budget budget(std::chrono::milliseconds(10000));
    auto res = j.Check({{10, nNeed}}, png.size(), true, &budget);
    ASSERT_EQ(res.kind, CKivFragmentJoiner::Result::kJoined);
    EXPECT_EQ(disk.Read(res.runs, png.size()), png);
    EXPECT_EQ(res.runs.size(), 2u);

    // A second deleted file with the same first cluster of bytes: the rest the join took is not
    // its rest too.
    std::memcpy(&disk.bytes[2 * K], png.data(), K);
    EXPECT_EQ(j.Check({{2, nNeed}}, png.size(), true, &budget).kind, CKivFragmentJoiner::Result::kBroken);

    // Its rest written over: reported broken, never joined to other bytes.
    for (uint64_t c = 21; c < 21 + nNeed; ++c) disk.bytes[c * K + 100] ^= 0x55;
    auto bad = j.Check({{10, nNeed}}, png.size(), true, &budget);
    EXPECT_EQ(bad.kind, CKivFragmentJoiner::Result::kBroken);
    EXPECT_TRUE(bad.runs.empty());
}

}  // namespace
