#include "CKivFatBootSector.h"

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
    if (m_nFats != 2 || !IsClusterSize(m_nSecPerClus) || m_nBytesPerSector != nSectorSize) return false;

    bool bRootOk = m_nRootEntries >= 224 && (m_nRootEntries * 32u) % nSectorSize == 0;
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
    m_nType = nType;
    return true;
}

bool CKivFatBootSector::MakeGeometry(uint64_t nFirst, uint64_t nDevSectors, KivFatGeometry* pOut) const {
    if (m_nType == KIV_FS_NONE || nFirst >= nDevSectors) return false;
    uint64_t nTotal = m_nTotalSectors;
    if (nTotal > nDevSectors - nFirst) nTotal = nDevSectors - nFirst;

    // All terms are below 2^32 each, so these sums cannot overflow 64 bits.
    uint64_t nData = nFirst + m_nReserved + uint64_t(m_nFats) * m_nSectorsPerFat;
    uint32_t nRootSectors = 0;
    if (m_nType != KIV_FS_FAT32) {
        nRootSectors = m_nRootEntries * 32u / m_nBytesPerSector;
        nData += nRootSectors;
    }
    uint64_t nEnd = nFirst + nTotal;
    if (nEnd <= nData) return false;
    uint64_t nClusters = (nEnd - nData) / m_nSecPerClus;
    uint32_t k = 0;
    switch (m_nType) {
        case KIV_FS_FAT12:
            if (nClusters < 1 || nClusters >= 4085) return false;
            k = 3;
            break;
        case KIV_FS_FAT16:
            if (nClusters < 4085 || nClusters >= 0xFFF4) return false;
            k = 4;
            break;
        default:
            if (nClusters < 0xFFF4 || nClusters >= 0xFFFFFF4) return false;
            if (m_nRootCluster > nClusters) return false;
            k = 8;
            break;
    }
    uint64_t nHalfBytes = uint64_t(k) * nClusters;   // FAT size in half-bytes
    uint64_t nDiv = 2ull * m_nBytesPerSector;
    if (m_nSectorsPerFat < (nHalfBytes + nDiv - 1) / nDiv) return false;

    pOut->nType = m_nType;
    pOut->nSecPerClus = m_nSecPerClus;
    pOut->nDataStart = nData;
    pOut->nFirstSector = nFirst;
    pOut->nSectorCount = nTotal;
    pOut->nReserved = m_nReserved;
    pOut->nSectorsPerFat = m_nSectorsPerFat;
    pOut->nClusterCount = static_cast<uint32_t>(nClusters);
    pOut->nRoot = m_nType == KIV_FS_FAT32 ? m_nRootCluster : nRootSectors;
    return true;
}
