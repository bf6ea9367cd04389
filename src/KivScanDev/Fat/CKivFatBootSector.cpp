#include "CKivFatBootSector.h"

#include <algorithm>
#include <cctype>

#include "KivByteReader.h"

namespace {

bool EqualsNoCase(KivByteReader& r, size_t off, const char* psz) {
    for (size_t i = 0; psz[i]; ++i) {
        if (!r.Has(off + i, 1)) return false;
        if (std::toupper(r.U8At(off + i)) != std::toupper(static_cast<unsigned char>(psz[i]))) return false;
    }
    return true;
}

// Sectors per cluster: a power of two from 1 to 128.
bool IsClusterSize(uint32_t n) { return n >= 1 && n <= 128 && (n & (n - 1)) == 0; }

}  // namespace

bool CKivFatBootSector::Parse(std::span<const uint8_t> sector, uint32_t nSectorSize) {
    m_nType = KIV_FS_NONE;
    m_nForeignSectorSize = 0;
    m_nScale = 1;
    KivByteReader r(sector);
    if (!r.Has(0, 512) || nSectorSize == 0) return false;
    m_nBytesPerSector = r.U16At(11);
    m_nSecPerClus = r.U8At(13);
    m_nReserved = r.U16At(14);
    m_nFats = r.U8At(16);
    m_nRootEntries = r.U16At(17);
    uint32_t nTotal16 = r.U16At(19);
    uint32_t nTotal32 = r.U32At(32);
    if (r.U8At(510) != 0x55 || r.U8At(511) != 0xAA) return false;
    // Volumes made with a single table copy are as valid as those with two.
    if ((m_nFats != 1 && m_nFats != 2) || !IsClusterSize(m_nSecPerClus)) return false;
    const uint32_t bps = m_nBytesPerSector;
    if (bps < 512 || bps > 4096 || (bps & (bps - 1))) return false;

    bool bRootOk = m_nRootEntries >= 224 && (m_nRootEntries * 32u) % bps == 0;
    int32_t nType = KIV_FS_NONE;
    if (EqualsNoCase(r, 54, "FAT12   ")) {
        m_nSectorsPerFat = r.U16At(22);
        if (bRootOk && m_nRootEntries <= 2048 && m_nSectorsPerFat >= 1 && m_nSectorsPerFat <= 200)
            nType = KIV_FS_FAT12;
    } else if (EqualsNoCase(r, 54, "FAT16   ")) {
        m_nSectorsPerFat = r.U16At(22);
        if (bRootOk && m_nSectorsPerFat != 0) nType = KIV_FS_FAT16;
    } else if (EqualsNoCase(r, 82, "FAT32   ")) {
        m_nSectorsPerFat = r.U32At(36);
        m_nRootCluster = r.U32At(44);
        m_nBackupSector = r.U16At(50);
        if (m_nSectorsPerFat != 0) nType = KIV_FS_FAT32;
    }
    if (nType == KIV_FS_NONE || !r.Ok()) return false;
    m_nTotalSectors = nTotal16 ? nTotal16 : nTotal32;
    if (nType == KIV_FS_FAT32 && nTotal32) m_nTotalSectors = nTotal32;

    // The device reads the volume when its sectors are whole multiples of the device's and a
    // cluster still fits the 8-bit sectors-per-cluster of a partition.
    if (bps % nSectorSize != 0 || uint64_t(m_nSecPerClus) * (bps / nSectorSize) > 128 ||
        uint64_t(m_nReserved) * (bps / nSectorSize) > 0xFFFF) {
        m_nForeignSectorSize = bps;
        return false;
    }
    m_nScale = bps / nSectorSize;
    m_nType = nType;
    return true;
}

bool CKivFatBootSector::MakeGeometry(uint64_t nFirst, uint64_t nDevSectors, KivFatGeometry* pOut) const {
    if (m_nType == KIV_FS_NONE || nFirst >= nDevSectors) return false;
    // Everything below counts volume sectors; the terms are below 2^32 each, so the sums cannot
    // overflow 64 bits.
    const uint64_t k = m_nScale;
    uint64_t nMeta = m_nReserved + uint64_t(m_nFats) * m_nSectorsPerFat;
    uint32_t nRootSectors = 0;
    if (m_nType != KIV_FS_FAT32) {
        nRootSectors = m_nRootEntries * 32u / m_nBytesPerSector;
        nMeta += nRootSectors;
    }
    // The cluster count, and so the type, come from the volume's own size: a volume cut by the end
    // of the medium is still the volume its boot sector describes.
    if (m_nTotalSectors <= nMeta) return false;
    uint64_t nClusters = (m_nTotalSectors - nMeta) / m_nSecPerClus;
    uint32_t nHalf = 0;  // half-bytes per table entry
    switch (m_nType) {
        case KIV_FS_FAT12:
            if (nClusters < 1 || nClusters >= 4085) return false;
            nHalf = 3;
            break;
        case KIV_FS_FAT16:
            if (nClusters < 4085 || nClusters >= 0xFFF4) return false;
            nHalf = 4;
            break;
        default:
            if (nClusters < 0xFFF4 || nClusters >= 0xFFFFFF4) return false;
            if (m_nRootCluster > nClusters) return false;
            nHalf = 8;
            break;
    }
    uint64_t nHalfBytes = uint64_t(nHalf) * nClusters;   // FAT size in half-bytes
    uint64_t nDiv = 2ull * m_nBytesPerSector;
    if (m_nSectorsPerFat < (nHalfBytes + nDiv - 1) / nDiv) return false;

    if (uint64_t(m_nSectorsPerFat) * k > 0xFFFFFFFFu) return false;
    uint64_t nData = nFirst + nMeta * k;
    uint64_t nTotal = std::min(m_nTotalSectors * k, nDevSectors - nFirst);
    // Nothing of the data area on the medium: nothing to read.
    if (nFirst + nTotal <= nData) return false;

    pOut->nType = m_nType;
    pOut->nSecPerClus = static_cast<uint32_t>(m_nSecPerClus * k);
    pOut->nDataStart = nData;
    pOut->nFirstSector = nFirst;
    pOut->nSectorCount = nTotal;
    pOut->nReserved = static_cast<uint32_t>(m_nReserved * k);
    pOut->nSectorsPerFat = static_cast<uint32_t>(m_nSectorsPerFat * k);
    pOut->nClusterCount = static_cast<uint32_t>(nClusters);
    pOut->nRoot = m_nType == KIV_FS_FAT32 ? m_nRootCluster : static_cast<uint32_t>(nRootSectors * k);
    pOut->nFats = m_nFats;
    return true;
}
