#include "CKivVolBriefExFat.h"

#include <string>

#include "ExFat/CKivExFatBootSector.h"
#include "KivByteReader.h"
#include "platform/KivPlatform.h"

CKivVolBriefExFat::CKivVolBriefExFat(IKivDevStor* pDev, uint64_t nFirst) {
    if (!pDev) return;
    const uint32_t nSize = pDev->GetSectorSize();
    const uint64_t nDevSectors = pDev->GetSectorCount();
    if (nSize < 512) return;
    std::vector<uint8_t> boot(nSize);
    if (!pDev->ReadSectors(boot.data(), nFirst, 1)) return;
    CKivExFatBootSector bs;
    KivExFatGeometry g;
    // The volume's sectors may be larger than the device's; counts are given in the device's.
    if (!bs.Parse(boot, nSize) || !bs.MakeGeometry(nFirst, nDevSectors, &g)) return;
    m_nKind = KIV_FSK_EXFAT;
    m_nTotal = bs.m_nVolumeLength * bs.Scale();

    std::vector<uint8_t> cluster(size_t(g.nSecPerClus) * nSize), fat(nSize);
    uint64_t nFatSectorInHand = UINT64_MAX;
    uint64_t c = g.nRootCluster;
    for (uint32_t nSteps = 0; nSteps < kMaxRootClusters && c >= 2 && c - 2 < g.nClusterCount; ++nSteps) {
        uint64_t s = g.nHeapStart + (c - 2) * g.nSecPerClus;
        if (s >= nDevSectors || g.nSecPerClus > nDevSectors - s) return;
        if (!pDev->ReadSectors(cluster.data(), s, g.nSecPerClus) || ScanEntries(cluster)) return;
        uint64_t nEntryByte = c * 4;
        uint64_t nFatSector = nFirst + g.nFatOffset + nEntryByte / nSize;
        if (nFatSector != nFatSectorInHand) {
            if (nFatSector >= nDevSectors || !pDev->ReadSectors(fat.data(), nFatSector, 1)) return;
            nFatSectorInHand = nFatSector;
        }
        c = KivByteReader(fat.data(), fat.size()).U32At(nEntryByte % nSize);
    }
}

bool CKivVolBriefExFat::ScanEntries(const std::vector<uint8_t>& cluster) {
    KivByteReader r(cluster.data(), cluster.size());
    for (size_t off = 0; off + 32 <= cluster.size(); off += 32) {
        uint8_t t = r.U8At(off);
        if (t == 0x00) return true;  // the end of the folder: no label
        if (t != 0x83) continue;
        std::u16string label;
        for (size_t i = 0; i < std::min<size_t>(r.U8At(off + 1), 11); ++i)
            label.push_back(static_cast<char16_t>(r.U16At(off + 2 + 2 * i)));
        if (size_t z = label.find(u'\0'); z != std::u16string::npos) label.resize(z);
        SetLabel(KivUtf16ToUtf8(label));
        return true;
    }
    return false;
}
