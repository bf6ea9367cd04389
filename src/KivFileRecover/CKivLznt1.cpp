#include "CKivLznt1.h"

#include <algorithm>
#include <cstring>

#include "KivByteReader.h"

ptrdiff_t CKivLznt1::DecodeChunk(std::span<const uint8_t> body, uint8_t* pOut) {
    size_t in = 0;
    size_t out = 0;
    while (in < body.size() && out < kChunkBytes) {
        uint8_t flags = body[in++];
        for (int bit = 0; bit < 8 && in < body.size() && out < kChunkBytes; ++bit, flags >>= 1) {
            if (!(flags & 1)) {
                pOut[out++] = body[in++];
                continue;
            }
            if (body.size() - in < 2) return -1;
            uint16_t token = static_cast<uint16_t>(body[in] | (body[in + 1] << 8));
            in += 2;
            // The split between offset and length bits moves as the chunk grows: the offset gets
            // just enough bits to reach the chunk start (at least 4).
            unsigned shift = 12;
            uint16_t lenMask = 0xFFF;
            for (size_t p = out - (out ? 1 : 0); p >= 0x10; p >>= 1) {
                --shift;
                lenMask >>= 1;
            }
            size_t back = (token >> shift) + 1u;
            size_t len = (token & lenMask) + 3u;
            if (back > out) return -1;
            len = std::min(len, kChunkBytes - out);
            // Byte by byte: a reference may overlap the bytes it produces.
            for (size_t i = 0; i < len; ++i, ++out) pOut[out] = pOut[out - back];
        }
    }
    return static_cast<ptrdiff_t>(out);
}

ptrdiff_t CKivLznt1::DecodeUnit(std::span<const uint8_t> in, std::span<uint8_t> out) {
    std::memset(out.data(), 0, out.size());
    KivByteReader rd(in);
    size_t done = 0;
    uint8_t chunk[kChunkBytes];
    while (rd.Remaining() >= 2 && done < out.size()) {
        uint16_t header = rd.U16();
        if (header == 0) break;
        size_t bodyLen = (header & 0x0FFFu) + 1u;  // low 12 bits + 3 counts the header too
        auto body = rd.Span(bodyLen);
        if (!rd.Ok()) return -1;
        ptrdiff_t n;
        if (header & 0x8000u) {
            n = DecodeChunk(body, chunk);
            if (n < 0) return -1;
        } else {
            n = static_cast<ptrdiff_t>(std::min(bodyLen, kChunkBytes));
            std::memcpy(chunk, body.data(), static_cast<size_t>(n));
        }
        std::memcpy(out.data() + done, chunk, std::min(static_cast<size_t>(n), out.size() - done));
        done += std::min(kChunkBytes, out.size() - done);
    }
    return static_cast<ptrdiff_t>(done);
}
