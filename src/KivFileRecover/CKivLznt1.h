// Decoder of NTFS-compressed data: LZNT1 chunks of at most 4096 decoded bytes each, grouped in
// compression units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class CKivLznt1 {
public:
    static constexpr size_t kChunkBytes = 4096;

    // Decodes one chunk body (the bytes after its 16-bit header) into pOut (at most kChunkBytes).
    // Answers the decoded length, or -1 when a back reference points before the chunk start.
    static ptrdiff_t DecodeChunk(std::span<const uint8_t> body, uint8_t* pOut);

    // Decodes the chunks of a compression unit one after another into out, stopping at a zero
    // header, at the end of the input or when out is full. Every chunk stands for kChunkBytes of
    // data: one that decodes shorter is followed by zeros, and out is zero-filled past the last
    // chunk. Answers the bytes covered by chunks, or -1 when a chunk is damaged (its header
    // overruns the input or its body does not decode).
    static ptrdiff_t DecodeUnit(std::span<const uint8_t> in, std::span<uint8_t> out);
};
