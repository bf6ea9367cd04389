#include "Analysers/KivPngCheck.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivInflateCheck.h"
#include "KivByteReader.h"

namespace {

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

KivCheckVerdict CKivPngCheck::Check(std::span<const uint8_t> d, const KivCheckPoint* pFrom,
                                    std::vector<KivCheckPoint>* pPoints) {
    if (!KivBytesAt(d, 0, "\x89PNG\r\n\x1A\n")) return KivCheckVerdict::Unchecked();
    KivByteReader r(d);
    size_t p = 8;
    // The image data is one zlib stream over all IDAT chunks; it is inflated only from the start
    // (a resumed check relies on the CRCs alone).
    bool bInflate = pFrom == nullptr;
    if (pFrom) p = static_cast<size_t>(pFrom->nOffset);
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (bInflate && inflateInit(&zs) != Z_OK) bInflate = false;
    struct End {
        z_stream* z;
        bool* b;
        ~End() {
            if (*b) inflateEnd(z);
        }
    } end{&zs, &bInflate};
    bool bStreamDone = false;
    uint8_t sink[16384];
    for (bool bFirst = pFrom == nullptr;; bFirst = false) {
        if (pPoints) {
            KivCheckPoint cp;
            cp.nOffset = p;
            pPoints->push_back(cp);
        }
        if (p + 12 > d.size()) return KivCheckVerdict::Broken(d.size(), p);
        uint32_t len = r.U32BEAt(p);
        std::span<const uint8_t> type = r.SpanAt(p + 4, 4);
        // A wrong byte among the 8 of the chunk's head.
        if (len > 0x7FFFFFFFu || !IsLetter(type[0]) || !IsLetter(type[1]) || !IsLetter(type[2]) || !IsLetter(type[3]))
            return KivCheckVerdict::Broken(p + 8, p);
        if (bFirst && (len != 13 || std::memcmp(type.data(), "IHDR", 4) != 0)) return KivCheckVerdict::Broken(p + 8, p);
        if (len > d.size() - p - 12) return KivCheckVerdict::Broken(p + 8, p);
        bool bIdat = std::memcmp(type.data(), "IDAT", 4) == 0;
        if (bIdat && bInflate && !bStreamDone) {
            zs.next_in = const_cast<Bytef*>(r.SpanAt(p + 8, len).data());
            zs.avail_in = len;
            while (zs.avail_in) {
                zs.next_out = sink;
                zs.avail_out = sizeof sink;
                int r = inflate(&zs, Z_NO_FLUSH);
                if (r == Z_STREAM_END) {
                    bStreamDone = true;
                    break;
                }
                if (r != Z_OK && r != Z_BUF_ERROR) {
                    uint64_t at = p + 8 + (len - zs.avail_in);
                    return KivCheckVerdict::Broken(at, p);
                }
                if (r == Z_BUF_ERROR && zs.avail_out != 0) break;
            }
        }
        std::span<const uint8_t> body = r.SpanAt(p + 4, size_t(len) + 4);
        if (KivCrc32(body.data(), body.size()) != r.U32BEAt(p + 8 + len)) return KivCheckVerdict::Broken(p + 12 + len, p);
        if (std::memcmp(type.data(), "IEND", 4) == 0) return KivCheckVerdict::Whole(p + 12 + len);
        p += 12 + size_t(len);
    }
}
