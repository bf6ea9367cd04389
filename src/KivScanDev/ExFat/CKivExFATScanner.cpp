#include "CKivExFATScanner.h"

#include <algorithm>

#include "CKivExFatDirSector.h"
#include "CKivExFatEntrySet.h"
#include "CKivExFatGeometryFinder.h"
#include "CKivExFatTable.h"
#include "CKivExFatTreeBuilder.h"
#include "CKivExFatUpcase.h"
#include "KivByteReader.h"
#include "KivLog.h"
#include "Model/CKivStateIO.h"
#include "Model/KivPumpedWork.h"
#include "Storage/KivBlockSectors.h"

namespace {

// Slots of the shared statistics no other scanner uses (10 is KIV_STAT_OTHER_SECTOR_SIZE).
enum : int { kStatBoot = 1, kStatDirSectors = 11 };
static_assert(kStatDirSectors < KIV_SCAN_STAT_COUNT && kStatDirSectors != KIV_STAT_OTHER_SECTOR_SIZE &&
              kStatDirSectors != KIV_STAT_ITEMS_FOUND && kStatBoot != KIV_STAT_ITEMS_FOUND);

}  // namespace

IKivFsScanner* CreateExFatScanner() { return new CKivExFATScanner(); }

int CKivExFATScanner::BeginScan() {
    ClearState();
    return KIV_OK;
}

int CKivExFATScanner::AnalyzeView(const KivScanBlock& block, uint64_t* pStats) {
    if (block.nSectorSize != m_nSectorSize) return KIV_RETERR(KIV_E_STATE);
    // Each sector comes with the ones after it, so that an entry set crossing its end is whole.
    KivForEachBlockSector(block, true,
                          [&](std::span<const uint8_t> bytes, uint64_t nSector) { AnalyzeSector(bytes, nSector, pStats); });
    return KIV_OK;
}

int CKivExFATScanner::AnalyzeZeros(uint64_t nFirst, uint64_t nEnd, const KivScanBlock& zeros, uint64_t* pStats) {
    // A zero sector is no boot sector, table or directory; it only goes into a pending checksum,
    // which ends within one boot region.
    for (uint64_t s = nFirst; s < nEnd && !m_pending.empty(); ++s)
        AnalyzeSector({zeros.pData, std::min<size_t>(size_t(zeros.nBlockSectors), 2) * m_nSectorSize}, s, pStats);
    return KIV_OK;
}

void CKivExFATScanner::AnalyzeSector(std::span<const uint8_t> bytes, uint64_t nSector, uint64_t* pStats) {
    const size_t z = m_nSectorSize;
    if (bytes.size() < z || z < 512) return;
    std::span<const uint8_t> sector = bytes.first(z);
    KivByteReader r(sector);
    uint32_t w0 = r.U32At(0), w1 = r.U32At(4);

    if (r.U8At(0) == 0xEB) {
        CKivExFatBootSector bs;
        if (bs.Parse(sector, m_nSectorSize)) {
            OnBootSector(bs, nSector);
            if (pStats) ++pStats[kStatBoot];
        }
    }
    if (!m_pending.empty()) FoldPending(sector, nSector);
    if (w0 == 0) return;

    if (CKivExFatTable::IsTableStart(w0, w1)) {
        if (m_rec.fatStarts.size() < KivExFatScanRecords::kMaxFatStarts) {
            KivExFatFatStart f{nSector, std::vector<uint32_t>(z / 4)};
            for (size_t i = 0; i < f.head.size(); ++i) f.head[i] = r.U32At(i * 4);
            m_rec.fatStarts.push_back(std::move(f));
        }
        return;
    }
    if ((w0 == 0x00010000u || w0 == 0x0061FFFFu) && CKivExFatUpcase::LooksLikeTableStart(sector)) {
        if (m_rec.upcaseStarts.size() < KivExFatScanRecords::kMaxUpcase) m_rec.upcaseStarts.push_back(nSector);
        return;
    }
    if (!KivExFat::IsKnownType(r.U8At(0))) return;
    CKivExFatDirSector ds;
    if (!ds.Test(bytes, z)) return;
    if (pStats) {
        pStats[KIV_STAT_ITEMS_FOUND] += ds.m_nSets;
        ++pStats[kStatDirSectors];
    }
    uint32_t nFlags = (ds.m_bSetAtStart ? uint32_t(KivExFatDirSectorRec::kSetAtStart) : 0u) |
                      (ds.m_bRoot ? uint32_t(KivExFatDirSectorRec::kRoot) : 0u);
    if (m_rec.dirSectors.size() < KivExFatScanRecords::kMaxDirSectors)
        m_rec.dirSectors.push_back({nSector, ds.m_nSets, nFlags});
    if (ds.m_bRoot && m_rec.roots.size() < KivExFatScanRecords::kMaxRoots)
        m_rec.roots.push_back({nSector, ds.m_nBitmapCluster, ds.m_nUpcaseCluster, ds.m_nBitmapBytes, ds.m_nUpcaseBytes});
    for (const CKivExFatDirSector::FolderRef& f : ds.m_folders)
        if (m_rec.folders.size() < KivExFatScanRecords::kMaxFolderRefs) m_rec.folders.push_back({nSector, f.nCluster});
}

void CKivExFATScanner::OnBootSector(const CKivExFatBootSector& bs, uint64_t nSector) {
    KivExFatGeometry g;
    if (bs.MakeGeometry(nSector, m_nDevSectors, &g)) AddCandidate(g, KIV_EXFAT_BOOT_MAIN, bs);
    // The same sector may be the backup of a volume that starts one region earlier.
    uint64_t nRegion = bs.RegionSectors();
    if (nSector >= nRegion && bs.MakeGeometry(nSector - nRegion, m_nDevSectors, &g))
        AddCandidate(g, KIV_EXFAT_BOOT_BACKUP, bs);
    if (m_pending.size() < kMaxPendingRegions)
        m_pending.push_back({nSector, nSector, nSector + (nRegion - bs.Scale()), 0, 0});
}

void CKivExFATScanner::AddCandidate(const KivExFatGeometry& g, uint32_t nFlags, const CKivExFatBootSector& bs) {
    auto it = m_cands.find(g);
    if (it == m_cands.end()) {
        if (m_cands.size() >= kMaxCandidates) return;
        it = m_cands.emplace(g, CandInfo{}).first;
        it->second.nScale = bs.Scale();
    }
    // The flags of the main copy count: the backup's are not kept up to date.
    if (nFlags & KIV_EXFAT_BOOT_MAIN) it->second.nVolumeFlags = bs.m_nVolumeFlags;
    it->second.nFlags |= nFlags;
}

void CKivExFATScanner::FoldPending(std::span<const uint8_t> sector, uint64_t nSector) {
    for (size_t i = 0; i < m_pending.size();) {
        Pending& p = m_pending[i];
        bool bDrop = false;
        if (nSector != p.nNext) {
            bDrop = true;  // a sector was skipped (unreadable): the sum cannot be checked
        } else if (nSector < p.nSumSector) {
            p.nSum = CKivExFatBootSector::AddToChecksum(p.nSum, sector, p.nOffset);
            p.nOffset += sector.size();
            ++p.nNext;
        } else {
            KivByteReader r(sector);
            bool bSame = true;
            for (size_t off = 0; off + 4 <= sector.size() && bSame; off += 4) bSame = r.U32At(off) == p.nSum;
            if (bSame) m_rec.checksumOk.push_back(p.nStart);
            bDrop = true;
        }
        if (bDrop)
            m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
}

int CKivExFATScanner::EnumParts(std::vector<CKivScanResPart*>* pList) {
    if (!pList) return KIV_RETERR(KIV_E_INVALIDARG);
    std::vector<KivExFatCandidate> boot;
    for (const auto& [g, info] : m_cands) {
        KivExFatCandidate c;
        c.g = g;
        c.nFlags = info.nFlags;
        c.nVolumeFlags = info.nVolumeFlags;
        c.nScale = info.nScale;
        boot.push_back(c);
    }
    std::sort(m_rec.checksumOk.begin(), m_rec.checksumOk.end());
    CKivExFatGeometryFinder finder(m_rec, m_nDevSectors, m_nSectorSize);
    for (const KivExFatCandidate& c : finder.Propose(std::move(boot))) {
        const KivExFatGeometry& g = c.g;
        auto* p = new CKivScanResPartExFAT(KIV_FS_EXFAT, m_nSectorSize);
        p->m_nSecPerClus = g.nSecPerClus <= 255 ? static_cast<uint8_t>(g.nSecPerClus) : 0;
        p->m_nSecPerClus32 = g.nSecPerClus;
        p->m_nDataStart = g.nHeapStart;
        p->m_nFirstSector = g.nFirstSector;
        p->m_nSectorCount = g.nSectorCount;
        p->m_nEvidenceB = c.nConfirmed;
        p->m_nFatOffset = g.nFatOffset;
        p->m_nFatSectors = g.nFatSectors;
        p->m_nFatCount = g.nFatCount;
        p->m_nClusterCount = g.nClusterCount;
        p->m_nRootCluster = g.nRootCluster;
        p->m_nSerial = g.nSerial;
        p->m_nVolumeFlags = c.nVolumeFlags;
        uint32_t f = c.nFlags;
        p->m_nEvidenceFlags = f;
        // As for FAT: the tables where they belong, then the boot sectors; a boot region whose
        // checksum agrees counts for a little more than one that does not.
        bool bAllFats = (f & KIV_EXFAT_FAT1) && (g.nFatCount < 2 || (f & KIV_EXFAT_FAT2));
        uint64_t a = bAllFats ? 50 : ((f & (KIV_EXFAT_FAT1 | KIV_EXFAT_FAT2)) ? 45 : 10);
        bool bMain = f & KIV_EXFAT_BOOT_MAIN, bBackup = f & KIV_EXFAT_BOOT_BACKUP;
        uint64_t b = (bMain && bBackup) ? 50 : ((bMain || bBackup) ? 45 : 10);
        if ((bMain || bBackup) && !(f & (KIV_EXFAT_SUM_MAIN | KIV_EXFAT_SUM_BACKUP))) b -= 5;
        p->m_nEvidenceC = a + b;
        p->m_nEvidenceA = ((f & KIV_EXFAT_ROOT) ? 5 : 0) + ((f & KIV_EXFAT_UPCASE) ? 5 : 0);
        pList->push_back(p);
    }
    return 0;
}

namespace {

void IoGeometry(CKivStateIO& io, KivExFatGeometry& g) {
    io(g.nFirstSector)(g.nSectorCount)(g.nFatOffset)(g.nFatSectors)(g.nHeapStart)(g.nSecPerClus)(g.nClusterCount)(
        g.nRootCluster)(g.nSerial)(g.nFatCount);
}

}  // namespace

// Everything the pass has gathered (candidates, boot regions being summed, the records), so that
// a scan can go on from here or its results be had without the pass.
int CKivExFATScanner::IoState(CKivStateIO& io) {
    io.Map(m_cands, IoGeometry, [](CKivStateIO& x, CandInfo& c) { x(c.nFlags)(c.nVolumeFlags)(c.nScale); });
    io.Vec(m_pending, [](CKivStateIO& x, Pending& p) { x(p.nStart)(p.nNext)(p.nSumSector)(p.nOffset)(p.nSum); });
    KivExFatScanRecords& r = m_rec;
    io.Vec(r.dirSectors, [](CKivStateIO& x, KivExFatDirSectorRec& d) { x(d.nSector)(d.nSets)(d.nFlags); });
    io.Vec(r.roots, [](CKivStateIO& x, KivExFatRootRec& d) {
        x(d.nSector)(d.nBitmapCluster)(d.nUpcaseCluster)(d.nBitmapBytes)(d.nUpcaseBytes);
    });
    io.Vec(r.folders, [](CKivStateIO& x, KivExFatFolderRef& d) { x(d.nSector)(d.nCluster); });
    io.Vec(r.fatStarts, [](CKivStateIO& x, KivExFatFatStart& d) { x(d.nSector).Vec(d.head); });
    io.Vec(r.upcaseStarts);
    io.Vec(r.checksumOk);
    if (io.Loading() &&
        (m_cands.size() > kMaxCandidates || m_pending.size() > kMaxPendingRegions ||
         r.dirSectors.size() > KivExFatScanRecords::kMaxDirSectors || r.roots.size() > KivExFatScanRecords::kMaxRoots ||
         r.folders.size() > KivExFatScanRecords::kMaxFolderRefs ||
         r.fatStarts.size() > KivExFatScanRecords::kMaxFatStarts || r.upcaseStarts.size() > KivExFatScanRecords::kMaxUpcase))
        io.Fail();
    return io.Ok() ? KIV_OK : KIV_RETERR(KIV_E_IO);
}

void CKivExFATScanner::ClearState() {
    m_cands.clear();
    m_pending.clear();
    m_rec = KivExFatScanRecords();
}

IKivFsNode* CKivExFATScanner::BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                                        IKivEnumResFilesCallback* pCallback) {
    auto* pExFat = dynamic_cast<CKivScanResPartExFAT*>(pPart);
    if (!pExFat || !pDev || !CanHandle(pExFat->m_nType)) return nullptr;
    CKivExFatTreeBuilder builder(pExFat, pDev, &m_rec.dirSectors, m_pRawList, pCallback, nNameBase);
    return KivBuildPumped("CKivExFATScanner::BuildTree", [&] { return builder.Build(); });
}
