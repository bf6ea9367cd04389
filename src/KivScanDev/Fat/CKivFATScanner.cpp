#include "CKivFATScanner.h"

#include <algorithm>

#include "CKivFatDirSector.h"
#include "CKivFatTableBase.h"
#include "KivByteReader.h"
#include "KivFatSettings.h"
#include "KivLog.h"
#include "Model/CKivStateIO.h"
#include "Model/KivPumpedWork.h"
#include "Storage/KivBlockSectors.h"
#include "platform/KivPlatform.h"

namespace {

enum : int { kStatBoot = 0, kStatDirStart = 2, kStatDirPiece = 3 };

// A sector that starts a FAT copy of any width.
bool IsFatCopyStart(KivByteReader& r) {
    uint32_t w0 = r.U32At(0);
    return KivFat16Start(w0) || KivFat32Start(w0, r.U32At(4)) || KivFat12Start(w0);
}

int32_t TypeForClusters(uint64_t n) {
    if (n < 4085) return KIV_FS_FAT12;
    if (n < 0xFFF4) return KIV_FS_FAT16;
    return KIV_FS_FAT32;
}

}  // namespace

IKivFsScanner* CreateFatScanner() { return new CKivFATScanner(); }

int CKivFATScanner::AnalyzeView(const KivScanBlock& block, uint64_t* pStats) {
    if (block.nSectorSize != m_nSectorSize) return KIV_RETERR(KIV_E_STATE);
    KivForEachBlockSector(block, false,
                          [&](std::span<const uint8_t> sector, uint64_t nSector) { AnalyzeSector(sector, nSector, pStats); });
    return KIV_OK;
}

void CKivFATScanner::AnalyzeSector(std::span<const uint8_t> sector, uint64_t nSector, uint64_t* pStats) {
    KivByteReader r(sector);
    if (!r.Has(0, 512) || r.U32At(0) == 0) return;

    if (r.U8At(510) == 0x55 && r.U8At(511) == 0xAA) {
        CKivFatBootSector bs;
        if (bs.Parse(sector, m_nSectorSize)) {
            uint64_t nDev = m_pStor ? m_pStor->GetSectorCount() : nSector + 1;
            KivFatGeometry g;
            bool bAny = false;
            static constexpr uint32_t kFlag[] = {kBoot12, kBoot16, kBoot32};
            if (bs.MakeGeometry(nSector, nDev, &g)) {
                AddCandidate(g, kFlag[bs.m_nType]);
                bAny = true;
            }
            // A FAT32 boot sector may be the backup copy of one that lies m_nBackupSector earlier.
            uint64_t nBack = uint64_t(bs.m_nBackupSector) * bs.m_nScale;
            if (bs.m_nType == KIV_FS_FAT32 && nBack && bs.m_nBackupSector < bs.m_nReserved && nSector >= nBack &&
                bs.MakeGeometry(nSector - nBack, nDev, &g)) {
                AddCandidate(g, kBoot32Backup);
                bAny = true;
            }
            if (bAny && pStats) ++pStats[kStatBoot];
            if (bAny) return;
        } else if (uint32_t nOther = bs.ForeignSectorSize()) {
            NoteForeignSectorSize(sector, nOther, pStats);
        }
    }
    if (IsFatCopyStart(r)) {
        OnFatCopy(nSector);
        return;
    }
    CKivFatDirSector ds;
    if (!ds.Test(sector)) return;
    if (pStats) pStats[KIV_STAT_ITEMS_FOUND] += ds.m_nCounted;
    if (!ds.m_bStart) {
        if (pStats) ++pStats[kStatDirPiece];
        AddDirSector(nSector, -1);
    } else {
        if (InferGeometry(nSector, ds.m_nOwnCluster) && pStats) ++pStats[kStatDirStart];
        AddDirSector(nSector, ds.m_nOwnCluster);
    }
}

// A boot sector of a volume this device cannot read at its sector size: when it describes a
// sound volume at its own sector size, the scan tells which sector size to use.
void CKivFATScanner::NoteForeignSectorSize(std::span<const uint8_t> sector, uint32_t nBytes, uint64_t* pStats) {
    CKivFatBootSector bs;
    KivFatGeometry g;
    if (pStats && bs.Parse(sector, nBytes) && bs.MakeGeometry(0, ~0ull, &g)) pStats[KIV_STAT_OTHER_SECTOR_SIZE] = nBytes;
}

void CKivFATScanner::AddDirSector(uint64_t nSector, int64_t nCluster) {
    if (m_dirSectors.size() < kMaxDirSectors) m_dirSectors.push_back({nSector, nCluster});
}

CKivFATScanner::CandMap::iterator CKivFATScanner::AddCandidate(const KivFatGeometry& g, uint32_t nFlags) {
    auto it = m_cands.find(g);
    if (it == m_cands.end()) {
        if (m_cands.size() >= kMaxCandidates) return m_cands.end();
        it = m_cands.emplace(g, CandInfo{}).first;
        m_byDataStart.emplace(std::make_pair(g.nDataStart, g.nSecPerClus), g);
        if (g.nSectorsPerFat) {
            uint64_t nFat1 = g.nFirstSector + g.nReserved;
            m_byFatStart.emplace(nFat1, g);
            if (g.nFats == 2) m_byFatStart.emplace(nFat1 + g.nSectorsPerFat, g);
            // FAT copies seen before the boot sector (a backup found late) count as well.
            if (m_fatCopies.count(nFat1)) MarkFatCopy(it, nFat1);
            if (g.nFats == 2 && m_fatCopies.count(nFat1 + g.nSectorsPerFat)) MarkFatCopy(it, nFat1 + g.nSectorsPerFat);
        }
    }
    it->second.nFlags |= nFlags;
    return it;
}

void CKivFATScanner::MarkFatCopy(CandMap::iterator it, uint64_t nSector) {
    const KivFatGeometry& g = it->first;
    const KivFatSettings& s = KivFatSettings::Get();
    uint64_t nFat1 = g.nFirstSector + g.nReserved;
    if (nSector == nFat1) it->second.nFlags |= kFat1Found | (s.bUseFirstFat ? uint32_t(kFat1Usable) : 0u);
    if (g.nFats == 2 && nSector == nFat1 + g.nSectorsPerFat)
        it->second.nFlags |= kFat2Found | (s.bUseSecondFat ? uint32_t(kFat2Usable) : 0u);
}

void CKivFATScanner::OnFatCopy(uint64_t nSector) {
    if (m_fatCopies.size() < kMaxDirSectors) m_fatCopies.insert(nSector);
    auto [b, e] = m_byFatStart.equal_range(nSector);
    for (auto i = b; i != e; ++i) {
        auto it = m_cands.find(i->second);
        if (it != m_cands.end()) MarkFatCopy(it, nSector);
    }
}

bool CKivFATScanner::InferGeometry(uint64_t nSector, uint32_t nCluster) {
    if (nCluster < 2) return false;
    uint32_t aNew[8];
    size_t nNew = 0;
    for (uint32_t d = 1; d <= 128; d <<= 1) {
        uint64_t nOff = uint64_t(d) * (nCluster - 2);
        if (nOff > nSector) continue;
        uint64_t nData = nSector - nOff;
        auto range = m_byDataStart.equal_range({nData, d});
        if (range.first != range.second) {
            auto it = m_cands.find(range.first->second);
            if (it != m_cands.end()) {
                it->second.nFlags |= kDirConfirmed;
                ++it->second.nEvidence;
            }
            return true;
        }
        aNew[nNew++] = d;
    }
    // Nothing known matches: each cluster size gives a volume of its own, reaching to the end of
    // the device, until more directories confirm one of them.
    uint64_t nDev = m_pStor ? m_pStor->GetSectorCount() : nSector + 1;
    for (size_t i = 0; i < nNew; ++i) {
        uint32_t d = aNew[i];
        KivFatGeometry g;
        g.nSecPerClus = d;
        g.nDataStart = nSector - uint64_t(d) * (nCluster - 2);
        g.nFirstSector = g.nDataStart;
        uint64_t nClusters = std::min<uint64_t>((nDev - g.nDataStart) / d, 0x0FFFFFF4u);
        g.nSectorCount = nClusters * d;
        g.nClusterCount = static_cast<uint32_t>(nClusters);
        g.nType = TypeForClusters(nClusters);
        AddCandidate(g, kDirConfirmed);
    }
    return nNew > 0;
}

int CKivFATScanner::EnumParts(std::vector<CKivScanResPart*>* pList) {
    if (!pList) return KIV_RETERR(KIV_E_INVALIDARG);
    constexpr uint32_t kBootAny = kBoot12 | kBoot16 | kBoot32 | kBoot32Backup;
    auto kept = [](const CandInfo& i) {
        return i.nEvidence != 0 || ((i.nFlags & kBootAny) && (i.nFlags & (kFat1Found | kFat2Found)));
    };
    // A volume known only from its directories has no known end: it reaches up to the next volume
    // that has a boot sector, so that it never hides that one from the selection.
    std::set<uint64_t> bootStarts;
    for (const auto& [g, info] : m_cands)
        if ((info.nFlags & kBootAny) && kept(info)) bootStarts.insert(g.nFirstSector);
    for (const auto& [geo, info] : m_cands) {
        uint32_t f = info.nFlags;
        if (!kept(info)) continue;
        KivFatGeometry g = geo;
        if (!(f & kBootAny)) {
            auto next = bootStarts.upper_bound(g.nDataStart);
            if (next != bootStarts.end() && *next - g.nDataStart < g.nSectorCount) {
                g.nClusterCount = static_cast<uint32_t>((*next - g.nDataStart) / g.nSecPerClus);
                g.nSectorCount = uint64_t(g.nClusterCount) * g.nSecPerClus;
                g.nType = TypeForClusters(g.nClusterCount);
            }
            if (g.nSectorCount == 0) continue;
        }
        auto* p = new CKivScanResPartFAT(g.nType, m_nSectorSize);
        p->m_nSecPerClus = static_cast<uint8_t>(g.nSecPerClus);
        p->m_nDataStart = g.nDataStart;
        p->m_nFirstSector = g.nFirstSector;
        p->m_nSectorCount = g.nSectorCount;
        p->m_nEvidenceB = info.nEvidence;
        p->m_nReservedSectors = static_cast<uint16_t>(g.nReserved);
        p->m_nSectorsPerFat = g.nSectorsPerFat;
        p->m_nClusterCount = g.nClusterCount;
        p->m_nRoot = g.nRoot;
        p->m_nEvidenceFlags = f;
        uint64_t a = ((f & kFat1Found) && (f & kFat2Found)) ? 50 : ((f & (kFat1Found | kFat2Found)) ? 45 : 10);
        uint64_t b;
        if (g.nType != KIV_FS_FAT32)
            b = (f & (kBoot12 | kBoot16)) ? 50 : 10;
        else
            b = ((f & kBoot32) && (f & kBoot32Backup)) ? 50 : ((f & (kBoot32 | kBoot32Backup)) ? 45 : 10);
        p->m_nEvidenceC = a + b;
        pList->push_back(p);
    }
    return 0;
}

namespace {

void IoGeometry(CKivStateIO& io, KivFatGeometry& g) {
    io(g.nType)(g.nSecPerClus)(g.nDataStart)(g.nFirstSector)(g.nSectorCount)(g.nReserved)(g.nSectorsPerFat)(
        g.nClusterCount)(g.nRoot)(g.nFats);
}

}  // namespace

// Everything the pass has gathered, so that a scan can go on from here or its results be had
// without the pass: candidates with their indexes, FAT copies seen, directory sectors.
int CKivFATScanner::IoState(CKivStateIO& io) {
    io.Map(m_cands, IoGeometry, [](CKivStateIO& x, CandInfo& c) { x(c.nFlags)(c.nEvidence); });
    io.Map(
        m_byDataStart, [](CKivStateIO& x, std::pair<uint64_t, uint32_t>& k) { x(k.first)(k.second); }, IoGeometry);
    io.Map(m_byFatStart, [](CKivStateIO& x, uint64_t& k) { x(k); }, IoGeometry);
    io.Set(m_fatCopies);
    io.Vec(m_dirSectors, [](CKivStateIO& x, KivFatDirSectorRec& r) { x(r.nSector)(r.nCluster); });
    if (io.Loading() && (m_cands.size() > kMaxCandidates || m_dirSectors.size() > kMaxDirSectors)) io.Fail();
    return io.Ok() ? KIV_OK : KIV_RETERR(KIV_E_IO);
}

void CKivFATScanner::ClearState() {
    m_cands.clear();
    m_byDataStart.clear();
    m_byFatStart.clear();
    m_fatCopies.clear();
    m_dirSectors.clear();
}

IKivFsNode* CKivFATScanner::BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                                      IKivEnumResFilesCallback* pCallback) {
    auto* pFat = dynamic_cast<CKivScanResPartFAT*>(pPart);
    if (!pFat || !pDev || !CanHandle(pFat->m_nType)) return nullptr;
    CKivFatTreeBuilder builder(pFat, pDev, &m_dirSectors, m_pRawList, pCallback, nNameBase);
    return KivBuildPumped("CKivFATScanner::BuildTree", [&] { return builder.Build(); });
}
