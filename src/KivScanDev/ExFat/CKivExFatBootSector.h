// An exFAT boot sector: the test that recognises it, the volume geometry it describes, and the
// checksum that the twelfth sector of each boot region holds.
#pragma once

#include <cstdint>
#include <span>

// Geometry of one candidate volume, in sectors of the scanned device.
struct KivExFatGeometry {
    uint64_t nFirstSector = 0;
    uint64_t nSectorCount = 0;
    uint64_t nFatOffset = 0;   // from the first sector
    uint64_t nFatSectors = 0;  // one copy
    uint64_t nHeapStart = 0;   // sector of cluster 2
    uint32_t nSecPerClus = 0;
    uint32_t nClusterCount = 0;
    uint32_t nRootCluster = 0;  // 0: not known
    uint32_t nSerial = 0;
    uint8_t nFatCount = 1;

    auto operator<=>(const KivExFatGeometry&) const = default;
};

class CKivExFatBootSector {
public:
    static constexpr uint32_t kRegionSectors = 12;  // boot region: boot, 8 extended, OEM, reserved, checksum
    static constexpr uint32_t kMaxClusters = 0xFFFFFFF5u;

    // Decodes the sector and runs the tests for a device of nDevSectorSize-byte sectors. The
    // volume's own sector size must be a multiple of the device's.
    bool Parse(std::span<const uint8_t> sector, uint32_t nDevSectorSize);

    // Geometry when this boot sector stands at device sector nFirst of a device of nDevSectors
    // sectors; false when the volume cannot start there. A volume cut by the device end keeps the
    // part that is there.
    bool MakeGeometry(uint64_t nFirst, uint64_t nDevSectors, KivExFatGeometry* pOut) const;

    // Device sectors per volume sector (1 when both are the same size).
    uint32_t Scale() const { return m_nScale; }
    // Device sectors of one boot region.
    uint64_t RegionSectors() const { return uint64_t(kRegionSectors) * m_nScale; }

    // Folds bytes of the boot region into its checksum. nRegionOffset is where the bytes lie in the
    // region: the flags and the in-use percentage of the boot sector are left out, as they change
    // without the checksum being rewritten.
    static uint32_t AddToChecksum(uint32_t nSum, std::span<const uint8_t> bytes, uint64_t nRegionOffset);

    uint64_t m_nVolumeLength = 0;   // offset 72, volume sectors
    uint32_t m_nFatOffset = 0;      // 80
    uint32_t m_nFatLength = 0;      // 84
    uint32_t m_nHeapOffset = 0;     // 88
    uint32_t m_nClusterCount = 0;   // 92
    uint32_t m_nRootCluster = 0;    // 96
    uint32_t m_nSerial = 0;         // 100
    uint16_t m_nRevision = 0;       // 104
    uint16_t m_nVolumeFlags = 0;    // 106: bit 0 second FAT active, bit 1 dirty, bit 2 media failure
    uint8_t m_nSectorShift = 0;     // 108
    uint8_t m_nClusterShift = 0;    // 109
    uint8_t m_nFatCount = 0;        // 110

private:
    uint32_t m_nScale = 1;
};
