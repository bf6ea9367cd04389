#include "RecoverTestUtil.h"
#include "KivPortable.h"

#include <fstream>
#include <iterator>
#include <random>

std::vector<uint8_t> KivTestLznt1Compress(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> out;
    for (size_t chunkStart = 0; chunkStart < plain.size(); chunkStart += 4096) {
        size_t n = std::min<size_t>(4096, plain.size() - chunkStart);
        const uint8_t* src = plain.data() + chunkStart;
        std::vector<uint8_t> body;
        size_t pos = 0;
        while (pos < n) {
            size_t flagAt = body.size();
            body.push_back(0);
            for (int bit = 0; bit < 8 && pos < n; ++bit) {
                // Offset and length share 16 bits; the offset field grows with the position.
                unsigned shift = 12;
                size_t lenMask = 0xFFF;
                for (size_t p = pos ? pos - 1 : 0; p >= 0x10; p >>= 1) {
                    --shift;
                    lenMask >>= 1;
                }
                size_t maxBack = std::min<size_t>(pos, size_t(1) << (16 - shift));
                size_t maxLen = std::min(lenMask + 3, n - pos);
                size_t bestLen = 0, bestBack = 0;
                for (size_t back = 1; back <= maxBack; ++back) {
                    size_t l = 0;
                    while (l < maxLen && src[pos + l] == src[pos + l - back]) ++l;
                    if (l > bestLen) {
                        bestLen = l;
                        bestBack = back;
                    }
                }
                if (bestLen >= 3) {
                    uint16_t token = static_cast<uint16_t>(((bestBack - 1) << shift) | (bestLen - 3));
                    body.push_back(static_cast<uint8_t>(token));
                    body.push_back(static_cast<uint8_t>(token >> 8));
                    body[flagAt] |= static_cast<uint8_t>(1 << bit);
                    pos += bestLen;
                } else {
                    body.push_back(src[pos++]);
                }
            }
        }
        uint16_t header;
        if (body.size() >= n) {  // not worth it: stored chunk
            body.assign(src, src + n);
            header = static_cast<uint16_t>(0x3000 | (n - 1));
        } else {
            header = static_cast<uint16_t>(0x8000 | 0x3000 | (body.size() - 1));
        }
        out.push_back(static_cast<uint8_t>(header));
        out.push_back(static_cast<uint8_t>(header >> 8));
        out.insert(out.end(), body.begin(), body.end());
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

KivTestDir::KivTestDir() {
    m_path = KivMakeTempDir("kivrec.");
}

KivTestDir::~KivTestDir() {
    std::error_code ec;
    // Read-only files inside must not stop the cleanup.
    // Stepped with error codes: the iterator's ++ throws.
    for (std::filesystem::recursive_directory_iterator it(m_path, ec), end; !ec && it != end; it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::vector<uint8_t> KivTestReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
