// What the fuzz targets share: the input as a device of sectors (zeros past the input, up to a
// stated size), and a disk of the device library over the same bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "IKivDevStor.h"
#include "KivSparseDevStor.h"

// The input as sectors; a partial last sector is padded with zeros, sectors past the input up to
// nMinSectors read as zeros.
class KivFuzzDevStor : public KivSparseDevStor {
public:
    KivFuzzDevStor(std::span<const uint8_t> data, uint32_t nSectorSize = 512, uint64_t nMinSectors = 0)
        : KivSparseDevStor(std::vector<uint8_t>(data.begin(), data.end()),
                           std::max<uint64_t>((data.size() + nSectorSize - 1) / nSectorSize, nMinSectors),
                           nSectorSize) {}
};
