// Little-endian fields written into a test's hand-made on-disk structure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    for (int i = 0; i < 2; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
inline void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
