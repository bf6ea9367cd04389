#include "CKivVolBriefFat.h"

#include <span>

#include "Fat/CKivFatBootSector.h"
#include "Fat/CKivFatDirEntry.h"
#include "KivByteReader.h"

CKivVolBriefFat::CKivVolBriefFat(IKivDevStor* pDev, uint64_t nFirst) {
    if (!pDev) return;
    const uint32_t nSize = pDev->GetSectorSize();
    if (nSize < 512) return;
    std::vector<uint8_t> boot(nSize);
    if (!pDev->ReadSectors(boot.data(), nFirst, 1)) return;
    CKivFatBootSector bs;
    // The boot sector's bytes per sector must equal the device's.
    if (!bs.Parse(boot, nSize) || bs.m_nScale != 1) return;
    m_nKind = bs.m_nType;  // the engine's FAT type codes are the kinds of the records
    m_nTotal = bs.m_nTotalSectors;
    ReadLabel(pDev, nFirst, bs);
}

bool CKivVolBriefFat::ScanEntries(const std::vector<uint8_t>& chunk) {
    for (size_t off = 0; off + CKivFatDirEntry::kSize <= chunk.size(); off += CKivFatDirEntry::kSize) {
        CKivFatDirEntry e;
        if (!e.Decode(std::span<const uint8_t>(chunk).subspan(off))) return true;
        if (e.IsEnd()) return true;  // the end of the folder: no label
        if (!e.IsPlausible(false)) return true;
        if (e.IsDeleted() || e.m_nAttr != CKivFatDirEntry::kAttrLabel) continue;
        SetLabel(e.LabelText());
        return true;
    }
    return false;
}

void CKivVolBriefFat::ReadLabel(IKivDevStor* pDev, uint64_t nFirst, const CKivFatBootSector& bs) {
    const uint32_t nSize = pDev->GetSectorSize();
    const uint64_t nDevSectors = pDev->GetSectorCount();
    const uint32_t nSpc = bs.m_nSecPerClus;
    const uint64_t nFatStart = nFirst + bs.m_nReserved;
    const uint64_t nRootOrData = nFatStart + uint64_t(bs.m_nFats) * bs.m_nSectorsPerFat;
    std::vector<uint8_t> chunk;
    auto read = [&](uint64_t nSector, uint64_t nCount) {
        if (nSector >= nDevSectors || nCount > nDevSectors - nSector) return false;
        chunk.assign(nCount * nSize, 0);
        return pDev->ReadSectors(chunk.data(), nSector, nCount) != 0;
    };
    if (bs.m_nType != KIV_FSK_FAT32) {
        const uint64_t nRootSectors = uint64_t(bs.m_nRootEntries) * 32 / nSize;
        for (uint64_t done = 0; done < nRootSectors; done += nSpc) {
            uint64_t n = std::min<uint64_t>(nSpc, nRootSectors - done);
            if (!read(nRootOrData + done, n) || ScanEntries(chunk)) return;
        }
        return;
    }
    const uint64_t nEnd = nFirst + bs.m_nTotalSectors;
    if (nEnd <= nRootOrData) return;
    const uint64_t nClusters = (nEnd - nRootOrData) / nSpc;
    std::vector<uint8_t> fat(nSize);
    uint64_t nFatSectorInHand = UINT64_MAX;
    uint64_t c = bs.m_nRootCluster;
    for (uint32_t nSteps = 0; nSteps < kMaxRootClusters && c >= 2 && c - 2 < nClusters; ++nSteps) {
        if (!read(nRootOrData + (c - 2) * nSpc, nSpc) || ScanEntries(chunk)) return;
        uint64_t nEntryByte = c * 4;
        uint64_t nFatSector = nFatStart + nEntryByte / nSize;
        if (nFatSector != nFatSectorInHand) {
            if (nFatSector >= nDevSectors || !pDev->ReadSectors(fat.data(), nFatSector, 1)) return;
            nFatSectorInHand = nFatSector;
        }
        KivByteReader r(fat.data(), fat.size());
        c = r.U32At(nEntryByte % nSize) & 0x0FFFFFFF;
    }
}
