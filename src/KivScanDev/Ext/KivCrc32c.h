// CRC-32C (Castagnoli) as ext4's metadata checksums use it: the raw update, without the inversions
// at start and end, so that a checksum can be carried on over several pieces.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t KivCrc32cUpdate(uint32_t nCrc, const void* p, size_t n);
