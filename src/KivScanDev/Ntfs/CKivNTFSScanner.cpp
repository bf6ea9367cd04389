#include "Ntfs/CKivNTFSScanner.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "KivByteReader.h"
#include "KivAllocSize.h"
#include "KivLog.h"
#include "Model/CKivStateIO.h"
#include "Model/CRawFileInfo.h"
#include "Ntfs/CKivNtfsBootSector.h"
#include "Ntfs/CKivNtfsFileRecord.h"
#include "Ntfs/CKivNtfsTreeBuilder.h"
#include "Ntfs/KivNtfsPartSlots.h"
#include "Storage/KivBlockSectors.h"

namespace {

constexpr size_t kMaxStructBytes = 4096;   // largest structure tested: a restart page or a record
constexpr size_t kMaxRestartPages = 500000;
constexpr size_t kMaxMapRecords = 256;
// Every $LogFile record is paired with every restart page at the end of the scan; a few records
// are enough to place the volumes, and the cap keeps a hostile disk from making that quadratic.
constexpr size_t kMaxLogRecords = 16;
constexpr size_t kCandidateKeepCap = 1000;
constexpr size_t kRecordOnlyPruneFrom = 50;

uint64_t CappedTerm(uint64_t counter, uint64_t threshold) { return std::min<uint64_t>(10, counter / threshold * 10); }

}  // namespace

IKivFsScanner* CreateNtfsScanner() { return new CKivNTFSScanner(); }

// A block the storage refuses whole is not read again sector by sector.
CKivNTFSScanner::CKivNTFSScanner() : CKivFsScannerBase(false) {}
CKivNTFSScanner::~CKivNTFSScanner() = default;

int CKivNTFSScanner::BeginScan() {
    ClearState();
    // The carry-over area and, behind it, the start of the next block.
    m_buf.assign(2 * kMaxStructBytes, 0);
    return KIV_OK;
}

int CKivNTFSScanner::AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) {
    if (nCount > m_nBlockSectors) return KIV_RETERR(KIV_E_STATE);
    return CKivFsScannerBase::AnalyzeBlock(nFirst, nCount, pStats);
}

int CKivNTFSScanner::AnalyzeView(const KivScanBlock& block, uint64_t* pStats) {
    const uint64_t nFirst = block.nFirst, nCount = block.nCount;
    if (nCount > m_nBlockSectors || block.nSectorSize != m_nSectorSize || m_buf.size() < 2 * kMaxStructBytes)
        return KIV_RETERR(KIV_E_STATE);
    if (nCount == 0) return KIV_OK;
    const size_t Z = m_nSectorSize;
    const uint8_t* pBlock = block.pData;
    const size_t nBlockBytes = size_t(nCount) * Z;
    uint64_t nBoot = 0, nFound = 0;

    // Sectors carried over from the previous block: only what did not fit there is tested now,
    // with as much of this block behind them as the largest structure needs.
    if (m_nCarry) {
        size_t nHead = std::min(nBlockBytes, kMaxStructBytes);
        std::memcpy(m_buf.data() + m_nCarry, pBlock, nHead);
        const size_t total = m_nCarry + nHead;
        for (size_t off = 0; off < m_nCarry; off += Z)
            TestWindow(m_buf.data() + off, total - off, m_nCarryFirst + off / Z, true, &nFound);
    }

    for (uint64_t j = 0; j < nCount; ++j) {
        const uint8_t* p = pBlock + j * Z;
        KivNtfsBootSector bs;
        if (p[3] == 'N' || p[3] == 'n') {
            if (KivParseNtfsBootSector({p, Z}, &bs)) {
                // Cluster size and totals are in the boot sector's own sectors; the device may
                // use another sector size (an image read with 512-byte sectors, say).
                uint64_t clusterBytes = uint64_t(bs.nSecPerClus) * bs.nBytesPerSector;
                if (clusterBytes % Z == 0) {
                    KivNtfsCandidate proto;
                    proto.nSecPerClus = uint32_t(clusterBytes / Z);
                    proto.nMftCluster = bs.nMftCluster;
                    proto.nMirrCluster = bs.nMftMirrCluster;
                    proto.nSerial = bs.nSerial;
                    proto.nRecordBytes = bs.RecordBytes();
                    uint64_t totalBytes;
                    if (!KivMulOverflows(bs.nTotalSectors, bs.nBytesPerSector, &totalBytes))
                        m_cands.AddBootSector(nFirst + j, m_nDevSectors, proto, totalBytes / Z);
                } else if (pStats) {
                    // Clusters smaller than the device's sectors: readable only at the volume's own size.
                    pStats[KIV_STAT_OTHER_SECTOR_SIZE] = bs.nBytesPerSector;
                }
                ++nBoot;
                continue;
            }
        }
        TestWindow(p, nBlockBytes - j * Z, nFirst + j, false, &nFound);
    }

    if (pStats) {
        pStats[4] += nBoot;
        pStats[12] += nBoot;
        pStats[13] = nFound;
        pStats[5] += nFound;
        pStats[7] += nFound;
        pStats[15] += nFound;
    }

    // Keep the tail so a structure cut by the block end is seen whole next time.
    size_t keep = std::min(m_nCarry + nBlockBytes, kMaxStructBytes > Z ? kMaxStructBytes - Z : 0);
    keep -= keep % Z;
    if (keep <= nBlockBytes) {
        std::memcpy(m_buf.data(), pBlock + nBlockBytes - keep, keep);
    } else {
        // A block shorter than the area: the end of the old area, then the whole block.
        size_t nOld = keep - nBlockBytes;
        std::memmove(m_buf.data(), m_buf.data() + m_nCarry - nOld, nOld);
        std::memcpy(m_buf.data() + nOld, pBlock, nBlockBytes);
    }
    m_nCarry = keep;
    m_nCarryFirst = nFirst + nCount - keep / Z;
    return KIV_OK;
}

int CKivNTFSScanner::AnalyzeZeros(uint64_t nFirst, uint64_t nEnd, const KivScanBlock& zeros, uint64_t* pStats) {
    const uint64_t B = zeros.nBlockSectors;
    if (B == 0) return KIV_RETERR(KIV_E_STATE);
    auto view = [&](uint64_t s) {
        KivScanBlock b = zeros;
        b.nFirst = s;
        b.nCount = std::min<uint64_t>(B, nEnd - s);
        return b;
    };
    // The first zero block may end a structure carried over from the data before it; after it the
    // carry-over area holds zeros, and further whole zero blocks change nothing but its place.
    int rc = AnalyzeView(view(nFirst), pStats);
    if (KivFailed(static_cast<KivResult>(rc))) return rc;
    uint64_t s = nFirst + B;
    const uint64_t nLast = nEnd > nFirst ? nFirst + (nEnd - nFirst - 1) / B * B : nFirst;
    if (s < nLast && B * m_nSectorSize >= kMaxStructBytes) {
        std::fill(m_buf.begin(), m_buf.begin() + m_nCarry, uint8_t(0));
        m_nCarryFirst = nLast - m_nCarry / m_nSectorSize;
        if (pStats) pStats[13] = 0;
        s = nLast;
    }
    for (; s < nEnd; s += B) {
        rc = AnalyzeView(view(s), pStats);
        if (KivFailed(static_cast<KivResult>(rc))) return rc;
    }
    return KIV_OK;
}

// bCarried: the window starts in the carry-over area, so only structures that reach past it (and
// so were cut by the previous block's end) are tested.
void CKivNTFSScanner::TestWindow(const uint8_t* p, size_t nAvail, uint64_t nSector, bool bCarried, uint64_t* pFound) {
    const size_t carryLeft = bCarried ? m_nCarry - size_t(nSector - m_nCarryFirst) * m_nSectorSize : 0;
    if (nAvail >= 4 && std::memcmp(p, "RSTR", 4) == 0) {
        // The carry-over area is shorter than a page, so a carried page never fitted before.
        if (nAvail >= 4096 && KivIsNtfsRestartPage({p, 4096}))
            OnRestartPage(nSector);
        return;
    }
    if (nAvail >= 48 && std::memcmp(p, "FILE", 4) == 0) {
        uint32_t bytes = uint32_t(p[28]) | uint32_t(p[29]) << 8 | uint32_t(p[30]) << 16 | uint32_t(p[31]) << 24;
        if (bytes < 512 || bytes > kMaxStructBytes || bytes % 512 || bytes > nAvail) return;
        if (bCarried && carryLeft >= bytes) return;  // fitted in the previous block: already tested
        CKivNtfsFileRecord rec;
        if (rec.Parse({p, bytes})) {
            OnRecord(rec, nSector);
            ++*pFound;
        }
    }
}

void CKivNTFSScanner::OnRecord(const CKivNtfsFileRecord& rec, uint64_t nSector) {
    m_records.push_back({nSector, rec.GetRecordNumber(), rec.GetAllocatedBytes()});

    uint32_t num = rec.GetRecordNumber();
    if (num != 0 && num != 2) return;
    std::u16string sys = rec.SystemName();
    bool isMft = num == 0 && sys == u"$MFT";
    bool isLog = num == 2 && sys == u"$LogFile";
    if (!isMft && !isLog) return;
    auto& maps = isMft ? m_mftMaps : m_logMaps;
    if (maps.size() >= (isMft ? kMaxMapRecords : kMaxLogRecords)) return;
    for (const auto& a : rec.Attributes()) {
        if (a.nType != KIV_NTFS_AT_DATA || !a.bNonResident || !a.name.empty() || a.nStartVcn != 0) continue;
        MapRecord m{nSector, 0, {}};
        KivNtfsDecodeRuns(a.mappingPairs, 0, 0, &m.runs);
        if (m.runs.empty() || m.runs[0].nLcn == KIV_NTFS_SPARSE) return;
        // Sectors per cluster follow from the allocated bytes over the clusters of the runs.
        uint64_t clusters = KivNtfsRunClusters(m.runs), clusterSectorBytes = 0;
        if (clusters && !KivMulOverflows(clusters, m_nSectorSize, &clusterSectorBytes) && clusterSectorBytes &&
            a.nAllocatedSize % clusterSectorBytes == 0) {
            uint64_t k = a.nAllocatedSize / clusterSectorBytes;
            if (k && k <= 128 && !(k & (k - 1))) m.nSecPerClus = uint32_t(k);
        }
        maps.push_back(std::move(m));
        return;
    }
}

void CKivNTFSScanner::OnRestartPage(uint64_t nSector) {
    if (m_restartPages.size() < kMaxRestartPages) m_restartPages.push_back(nSector);
}

int CKivNTFSScanner::EndScan() {
    std::sort(m_records.begin(), m_records.end(),
              [](const FoundRecord& a, const FoundRecord& b) { return a.nSector < b.nSector; });
    std::sort(m_restartPages.begin(), m_restartPages.end());

    // Volumes placed by the $MFT records found: record 0 lies at the MFT's first cluster.
    for (const auto& m : m_mftMaps)
        m_cands.AddByCluster(m.nSector, m.runs[0].nLcn, m.nSecPerClus, m_nDevSectors, KIV_NTFS_MARK_RECORDS,
                             m.runs[0].nLcn);
    // Volumes placed by restart pages: the log's first page lies at its first cluster.
    const uint64_t pageSectors = std::max<uint64_t>(1, 4096 / m_nSectorSize);
    for (const auto& m : m_logMaps) {
        uint64_t prev = ~0ull;
        for (uint64_t s : m_restartPages) {
            if (prev != ~0ull && s == prev + pageSectors) {
                m_cands.AddByCluster(s - pageSectors, m.runs[0].nLcn, m.nSecPerClus, m_nDevSectors, KIV_NTFS_MARK_LOG_PAIR);
                m_cands.AddByCluster(s, m.runs[0].nLcn, m.nSecPerClus, m_nDevSectors, KIV_NTFS_MARK_LOG_AT);
            } else {
                m_cands.AddByCluster(s, m.runs[0].nLcn, m.nSecPerClus, m_nDevSectors, KIV_NTFS_MARK_LOG_AT);
            }
            prev = s;
        }
    }
    ScoreCandidates();
    m_buf.clear();
    m_buf.shrink_to_fit();
    m_nCarry = 0;
    return 1;
}

uint64_t CKivNTFSScanner::CountAgreeingRecords(const KivNtfsCandidate& c) const {
    if (c.nMftCluster == ~0ull || c.nSecPerClus == 0) return 0;
    uint64_t mftSector = c.nStart + c.nMftCluster * c.nSecPerClus;
    const MapRecord* map = nullptr;
    for (const auto& m : m_mftMaps)
        if (m.nSector == mftSector) map = &m;
    if (!map) return 0;
    uint64_t n = 0;
    const uint64_t K = c.nSecPerClus;
    for (const auto& run : map->runs) {
        if (run.nLcn == KIV_NTFS_SPARSE) continue;
        uint64_t first = c.nStart + run.nLcn * K, end = first + run.nLength * K;
        auto it = std::lower_bound(m_records.begin(), m_records.end(), first,
                                   [](const FoundRecord& r, uint64_t s) { return r.nSector < s; });
        for (; it != m_records.end() && it->nSector < end; ++it) {
            uint64_t byteOff = (run.nVcn * K + (it->nSector - first)) * m_nSectorSize;
            if (it->nNumber != 0xFFFFFFFF && byteOff % it->nBytes == 0 && byteOff / it->nBytes == it->nNumber) ++n;
        }
    }
    return n;
}

void CKivNTFSScanner::ScoreCandidates() {
    std::unordered_map<uint64_t, bool> mftAt;
    for (const auto& m : m_mftMaps) mftAt[m.nSector] = true;

    auto& items = m_cands.Items();
    size_t pos = 0;
    for (auto it = items.begin(); it != items.end(); ++pos) {
        KivNtfsCandidate& c = *it->second;
        uint64_t end = c.nStart + c.nSectorCount;
        if (c.nSecPerClus && c.nMftCluster != ~0ull && mftAt.count(c.nStart + c.nMftCluster * c.nSecPerClus))
            c.nMarks |= KIV_NTFS_MARK_MFT_FOUND;
        if (c.nSecPerClus && c.nMirrCluster != ~0ull && mftAt.count(c.nStart + c.nMirrCluster * c.nSecPerClus))
            c.nMarks |= KIV_NTFS_MARK_MIRR_FOUND;
        auto rb = std::lower_bound(m_records.begin(), m_records.end(), c.nStart,
                                   [](const FoundRecord& r, uint64_t s) { return r.nSector < s; });
        auto re = std::lower_bound(m_records.begin(), m_records.end(), end,
                                   [](const FoundRecord& r, uint64_t s) { return r.nSector < s; });
        auto pb = std::lower_bound(m_restartPages.begin(), m_restartPages.end(), c.nStart);
        auto pe = std::lower_bound(m_restartPages.begin(), m_restartPages.end(), end);
        c.aCounters[0] = CountAgreeingRecords(c);
        c.aCounters[1] = uint64_t(re - rb);
        c.aCounters[2] = uint64_t(pe - pb);
        c.nEvidenceB = c.aCounters[0];
        c.nEvidenceA = c.aCounters[2];

        uint64_t C = 0;
        for (uint32_t bit : {KIV_NTFS_MARK_PRIMARY, KIV_NTFS_MARK_BACKUP, KIV_NTFS_MARK_MFT_FOUND,
                             KIV_NTFS_MARK_MIRR_FOUND, KIV_NTFS_MARK_LOG_AT, KIV_NTFS_MARK_LOG_PAIR})
            if (c.nMarks & bit) C += 10;
        if (c.nMarks & KIV_NTFS_MARK_BACKED_UP) C += 30;
        C += CappedTerm(c.aCounters[0], 256) + CappedTerm(c.aCounters[1], 10000) + CappedTerm(c.aCounters[2], 5);
        c.nEvidenceC = C;

        if (items.size() > kCandidateKeepCap && pos >= kCandidateKeepCap && C <= 10) {
            it = items.erase(it);
            continue;
        }
        ++it;
    }
    if (items.size() >= kRecordOnlyPruneFrom) {
        for (auto it = items.begin(); it != items.end();) {
            const KivNtfsCandidate& c = *it->second;
            if (c.nMarks == KIV_NTFS_MARK_RECORDS && c.nEvidenceA == 0 && c.nEvidenceB == 0)
                it = items.erase(it);
            else
                ++it;
        }
    }
}

int CKivNTFSScanner::EnumParts(std::vector<CKivScanResPart*>* pList) {
    if (!pList) return 0;
    for (const auto& [start, pc] : m_cands.Items()) {
        const KivNtfsCandidate& c = *pc;
        auto* p = new CKivScanNTFSPartInfo(KIV_FS_NTFS, m_nSectorSize);
        p->m_nSecPerClus = uint8_t(std::min<uint32_t>(c.nSecPerClus, 255));
        p->m_nDataStart = c.nStart;
        p->m_nFirstSector = c.nStart;
        p->m_nSectorCount = c.nSectorCount;
        p->m_nEvidenceA = c.nEvidenceA;
        p->m_nEvidenceB = c.nEvidenceB;
        p->m_nEvidenceC = c.nEvidenceC;
        p->m_nValue8 = c.nSerial;
        p->m_aValues32[KivNtfsSlot::kMarks] = c.nMarks;
        p->m_aValues32[KivNtfsSlot::kRecordBytes] = c.nRecordBytes;
        p->m_aValues32[KivNtfsSlot::kSecPerClus] = c.nSecPerClus;
        p->m_aValues64[KivNtfsSlot::kMftCluster] = c.nMftCluster;
        p->m_aValues64[KivNtfsSlot::kMirrCluster] = c.nMirrCluster;
        p->m_aValues64[KivNtfsSlot::kClusterCount] = c.nClusterCount;
        p->m_aValues64[KivNtfsSlot::kVolumeClusters] = c.nVolumeClusters ? c.nVolumeClusters : ~0ull;
        pList->push_back(p);
    }
    return 1;
}

namespace {

void IoRun(CKivStateIO& io, KivNtfsRun& r) { io(r.nVcn)(r.nLcn)(r.nLength); }

void IoMapRecord(CKivStateIO& io, CKivNTFSScanner::MapRecord& m) {
    io(m.nSector)(m.nSecPerClus).Vec(m.runs, IoRun);
    // Every user of a map record starts from its first run.
    if (io.Loading() && m.runs.empty()) io.Fail();
}

void IoCandidate(CKivStateIO& io, KivNtfsCandidate& c) {
    io(c.nStart)(c.nSectorCount)(c.nClusterCount)(c.nVolumeClusters)(c.nSecPerClus)(c.nMftCluster)(c.nMirrCluster)(
        c.nSerial)(c.nRecordBytes)(c.nMarks)(c.nEvidenceA)(c.nEvidenceB)(c.nEvidenceC);
    for (uint64_t& n : c.aCounters) io(n);
}

}  // namespace

// Everything the pass has gathered (candidates, records, restart pages, map records, the tail of
// the last block kept for a structure cut by its end), so that a scan can go on from here or its
// results be had without the pass.
int CKivNTFSScanner::IoState(CKivStateIO& io) {
    auto& items = m_cands.Items();
    uint64_t n = items.size();
    io(n);
    if (io.Loading()) {
        items.clear();
        if (n > CKivNtfsCandidateMap::kMaxCandidates) io.Fail();
        for (uint64_t i = 0; i < n && io.Ok(); ++i) {
            uint64_t nKey = 0;
            auto c = std::make_unique<KivNtfsCandidate>();
            io(nKey);
            IoCandidate(io, *c);
            if (io.Ok()) items.emplace_hint(items.end(), nKey, std::move(c));
        }
    } else {
        for (auto& [start, pc] : items) {
            uint64_t nKey = start;
            io(nKey);
            IoCandidate(io, *pc);
        }
    }
    io.Vec(m_records, [](CKivStateIO& x, FoundRecord& r) { x(r.nSector)(r.nNumber)(r.nBytes); });
    io.Vec(m_restartPages);
    io.Vec(m_mftMaps, IoMapRecord);
    io.Vec(m_logMaps, IoMapRecord);
    uint64_t nCarry = m_nCarry;
    io(nCarry)(m_nCarryFirst);
    if (io.Loading()) {
        if (nCarry > kMaxStructBytes || m_restartPages.size() > kMaxRestartPages) io.Fail();
        if (io.Ok() && m_buf.size() < nCarry) m_buf.resize(nCarry);
        m_nCarry = io.Ok() ? size_t(nCarry) : 0;
    }
    io.Bytes(m_buf.data(), uint32_t(m_nCarry));
    return io.Ok() ? KIV_OK : KIV_RETERR(KIV_E_IO);
}

void CKivNTFSScanner::ClearState() {
    m_cands.Clear();
    m_records.clear();
    m_restartPages.clear();
    m_mftMaps.clear();
    m_logMaps.clear();
    m_nCarry = 0;
}

IKivFsNode* CKivNTFSScanner::BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                                       IKivEnumResFilesCallback* pCallback) {
    auto* pNtfs = dynamic_cast<CKivScanNTFSPartInfo*>(pPart);
    if (!pNtfs || !pDev) return nullptr;
    CKivNtfsTreeBuilder builder(pNtfs, pDev, m_pRawList);
    builder.SetFoundRecords(RecordsInside(*pNtfs));
    return builder.Run(nNameBase, pCallback);
}

int CKivNTFSScanner::HasTree(CKivScanResPart* pPart, IKivDevStor* pDev) {
    auto* pNtfs = dynamic_cast<CKivScanNTFSPartInfo*>(pPart);
    if (!pNtfs || !pDev) return 0;
    CKivNtfsTreeBuilder builder(pNtfs, pDev, m_pRawList);
    builder.SetFoundRecords(RecordsInside(*pNtfs));
    return builder.CanBuild() ? 1 : 0;
}

std::span<const KivNtfsFoundRecord> CKivNTFSScanner::RecordsInside(const CKivScanResPart& part) const {
    uint64_t first = part.m_nDataStart, end = first + part.m_nSectorCount;
    auto b = std::lower_bound(m_records.begin(), m_records.end(), first,
                              [](const FoundRecord& r, uint64_t s) { return r.nSector < s; });
    auto e = std::lower_bound(b, m_records.end(), end, [](const FoundRecord& r, uint64_t s) { return r.nSector < s; });
    return {m_records.data() + (b - m_records.begin()), size_t(e - b)};
}
