// The NTFS boot sector: recognition and the geometry it states.
#pragma once

#include <cstdint>
#include <span>

struct KivNtfsBootSector {
    uint16_t nBytesPerSector = 0;  // offset 11
    uint8_t nSecPerClus = 0;       // offset 13
    uint64_t nTotalSectors = 0;    // offset 40
    uint64_t nMftCluster = 0;      // offset 48
    uint64_t nMftMirrCluster = 0;  // offset 56
    int8_t nClusPerRecord = 0;     // offset 64: clusters, or 2^-n bytes when negative
    uint64_t nSerial = 0;          // offset 72

    // Bytes of one file record as the boot sector states it; 0 when the field is unusable.
    uint32_t RecordBytes() const;
};

// True when the 512 bytes at the start of sector look like an NTFS boot sector; fills *pOut.
bool KivParseNtfsBootSector(std::span<const uint8_t> sector, KivNtfsBootSector* pOut);

// True when window (at least 4096 bytes) starts with a $LogFile restart page of an NTFS log.
bool KivIsNtfsRestartPage(std::span<const uint8_t> window);
