// A FAT boot sector: the tests that recognise each FAT kind and the volume geometry it describes.
#pragma once

#include <cstdint>
#include <span>

#include "KivScanResult.h"

// Geometry of one candidate volume, in sectors of the scanned device.
struct KivFatGeometry {
    int32_t nType = KIV_FS_NONE;  // KIV_FS_FAT12/16/32
    uint32_t nSecPerClus = 0;
    uint64_t nDataStart = 0;      // sector of cluster 2
    uint64_t nFirstSector = 0;
    uint64_t nSectorCount = 0;
    uint32_t nReserved = 0;
    uint32_t nSectorsPerFat = 0;
    uint32_t nClusterCount = 0;
    uint32_t nRoot = 0;           // FAT32: root cluster; FAT12/16: root-directory sectors
    uint32_t nFats = 2;           // copies of the allocation table, 1 or 2

    auto operator<=>(const KivFatGeometry&) const = default;
};

class CKivFatBootSector {
public:
    // Decodes the sector and runs the boot-sector tests for a device of nSectorSize-byte sectors.
    // The volume's own sectors may be a multiple of the device's (a volume of 4096-byte sectors in
    // an image read in 512-byte sectors); its geometry is then counted in device sectors.
    // Answers false (and leaves m_nType at KIV_FS_NONE) when no FAT kind accepts it; m_nType is
    // then still set when only the sector size stood in the way (see ForeignSectorSize).
    bool Parse(std::span<const uint8_t> sector, uint32_t nSectorSize);

    // Bytes per sector of a boot sector that passed every test but could not be read on a device
    // of the given sector size (its sectors are smaller than the device's, or its clusters too
    // large once counted in device sectors); 0 otherwise.
    uint32_t ForeignSectorSize() const { return m_nForeignSectorSize; }

    // Geometry of the volume when this boot sector stands at sector nFirst of a device of
    // nDevSectors sectors, in device sectors; false when the described volume is implausible.
    // A volume whose end lies past the device keeps its type and cluster count (it is that volume,
    // cut); only its sector count is cut to the device.
    bool MakeGeometry(uint64_t nFirst, uint64_t nDevSectors, KivFatGeometry* pOut) const;

    int32_t m_nType = KIV_FS_NONE;
    uint32_t m_nBytesPerSector = 0;  // offset 11
    uint32_t m_nSecPerClus = 0;      // 13
    uint32_t m_nReserved = 0;        // 14
    uint32_t m_nFats = 0;            // 16
    uint32_t m_nRootEntries = 0;     // 17
    uint64_t m_nTotalSectors = 0;    // 19 (16-bit) or 32 (32-bit)
    uint32_t m_nSectorsPerFat = 0;   // 22 (16-bit) or 36 (FAT32)
    uint32_t m_nRootCluster = 0;     // 44 (FAT32)
    uint32_t m_nBackupSector = 0;    // 50 (FAT32): where the backup copy of this sector lies
    uint32_t m_nScale = 1;           // device sectors per volume sector

private:
    uint32_t m_nForeignSectorSize = 0;
};
