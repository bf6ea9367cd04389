#include "Analysers/KivMp4Check.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t Be32(std::span<const uint8_t> d, size_t p) {
    return (uint32_t(d[p]) << 24) | (uint32_t(d[p + 1]) << 16) | (uint32_t(d[p + 2]) << 8) | d[p + 3];
}

bool IsTypeChar(uint8_t c) { return c >= 0x20 && c < 0x7F; }
bool IsType(std::span<const uint8_t> d, size_t p) {
    return IsTypeChar(d[p]) && IsTypeChar(d[p + 1]) && IsTypeChar(d[p + 2]) && IsTypeChar(d[p + 3]);
}

bool IsContainer(const uint8_t* t) {
    static const char* const kBoxes[] = {"moov", "trak", "mdia", "minf", "stbl", "edts", "dinf",
                                         "mvex", "moof", "traf", "mfra", "udta"};
    for (const char* k : kBoxes)
        if (std::memcmp(t, k, 4) == 0) return true;
    return false;
}

// The boxes of [p, end); answers the offset of the first box that does not fit, or end.
uint64_t Walk(std::span<const uint8_t> d, size_t p, size_t end, int depth, std::vector<KivCheckPoint>* pPoints,
              uint64_t* pSure) {
    while (p < end) {
        if (depth == 0) {
            *pSure = p;
            if (pPoints) {
                KivCheckPoint cp;
                cp.nOffset = p;
                pPoints->push_back(cp);
            }
        }
        if (end - p < 8 || !IsType(d, p + 4)) return p;
        uint64_t size = Be32(d, p);
        size_t head = 8;
        if (size == 1) {
            if (end - p < 16) return p;
            size = (uint64_t(Be32(d, p + 8)) << 32) | Be32(d, p + 12);
            head = 16;
        } else if (size == 0) {
            if (depth != 0) return p;
            size = end - p;  // to the end of the file
        }
        if (size < head || size > end - p) return p;
        if (IsContainer(&d[p + 4]) && depth < 8) {
            uint64_t sub = 0;
            uint64_t at = Walk(d, p + head, p + size, depth + 1, nullptr, &sub);
            if (at != p + size) return at;
        }
        p += size;
    }
    return end;
}

}  // namespace

KivCheckVerdict CKivMp4Check::Check(std::span<const uint8_t> d, const KivCheckPoint* pFrom,
                                    std::vector<KivCheckPoint>* pPoints) {
    if (d.size() < 8) return KivCheckVerdict::Unchecked();
    size_t p = pFrom ? static_cast<size_t>(pFrom->nOffset) : 0;
    uint64_t nSure = p;
    uint64_t at = Walk(d, p, d.size(), 0, pPoints, &nSure);
    if (at == d.size()) return KivCheckVerdict::Whole();
    // A wrong byte lies in the head of the box at that place.
    return KivCheckVerdict::Broken(std::min<uint64_t>(at + 16, d.size()), nSure);
}
