// The walk over pieces that follow each other back to back, each opening with a header that
// gives the piece's whole length (archive members, track chunks, atoms, blocks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "Analysers/CRawFileReader.h"

// Walks from nFirst while the next header (nHead bytes) can be read, fnLength answers a length
// other than 0 for it (0: not a piece of this file) and the walk has not passed nCap. Answers the
// offset after the last piece walked (nFirst when there is none); it may lie past nCap.
uint64_t KivWalkChunks(CRawFileReader& rd, uint64_t nFirst, size_t nHead, uint64_t nCap,
                       const std::function<uint64_t(std::span<const uint8_t>)>& fnLength);
