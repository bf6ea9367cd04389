// NTFS compression: one chunk, and a compression unit of sixteen chunks.
#include <vector>

#include "CKivLznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    std::vector<uint8_t> chunk(CKivLznt1::kChunkBytes);
    CKivLznt1::DecodeChunk(in, chunk.data());
    std::vector<uint8_t> unit(16 * CKivLznt1::kChunkBytes);
    CKivLznt1::DecodeUnit(in, unit);
    std::vector<uint8_t> small(CKivLznt1::kChunkBytes + 100);  // an output that ends inside a chunk
    CKivLznt1::DecodeUnit(in, small);
    return 0;
}
