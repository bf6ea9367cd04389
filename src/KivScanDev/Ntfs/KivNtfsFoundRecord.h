// A file record seen during the scan, kept until the trees are built.
#pragma once

#include <cstdint>

struct KivNtfsFoundRecord {
    uint64_t nSector;
    uint32_t nNumber;  // from the record header; 0xFFFFFFFF when not stored
    uint32_t nBytes;   // record size
};
