#include "CKivExtScanner.h"

#include <algorithm>

#include "CKivExtTreeBuilder.h"
#include "CKivScanResPartExt.h"
#include "KivByteReader.h"
#include "KivLog.h"
#include "Model/CKivStateIO.h"
#include "Model/KivPumpedWork.h"
#include "Storage/KivBlockSectors.h"

using namespace KivExt;

namespace {

// A slot of the shared statistics no other scanner uses (reset before each block).
enum : int { kStatSuperblocks = 14 };  // per block
static_assert(kStatSuperblocks < KIV_SCAN_STAT_COUNT && kStatSuperblocks != KIV_STAT_OTHER_SECTOR_SIZE &&
              kStatSuperblocks != KIV_STAT_ITEMS_FOUND);

}  // namespace

IKivFsScanner* CreateExtScanner() { return new CKivExtScanner(); }

int CKivExtScanner::BeginScan() {
    ClearState();
    return KIV_OK;
}

int CKivExtScanner::CanHandle(int32_t nType) {
    return nType == KIV_FS_EXT2 || nType == KIV_FS_EXT3 || nType == KIV_FS_EXT4;
}

int CKivExtScanner::AnalyzeView(const KivScanBlock& block, uint64_t* pStats) {
    if (block.nSectorSize != m_nSectorSize) return KIV_RETERR(KIV_E_STATE);
    KivForEachBlockSector(block, true,
                          [&](std::span<const uint8_t> bytes, uint64_t nSector) { AnalyzeSector(bytes, nSector, pStats); });
    return KIV_OK;
}

void CKivExtScanner::AnalyzeSector(std::span<const uint8_t> bytes, uint64_t nSector, uint64_t* pStats) {
    const size_t z = m_nSectorSize;
    if (bytes.size() < z) return;
    // A superblock starts at a block boundary (a backup) or 1024 bytes into the volume (the
    // primary), which sectors above 1 KiB put inside their first sector.
    for (uint32_t nOff = 0; nOff < z && nOff <= kSuperOffset; nOff += kSuperOffset) {
        KivByteReader r(bytes);
        if (r.U16At(nOff + 0x38) != kMagic) continue;
        std::vector<uint8_t> copy;
        std::span<const uint8_t> sb;
        if (bytes.size() >= nOff + kSuperBytes) {
            sb = bytes.subspan(nOff, kSuperBytes);
        } else {
            // The block ends inside it: the rest is read through the cache.
            uint64_t nSectors = (nOff + kSuperBytes + z - 1) / z;
            if (!m_pStor || nSector >= m_nDevSectors || nSectors > m_nDevSectors - nSector) continue;
            copy.resize(nSectors * z);
            if (!m_pStor->ReadSectors(copy.data(), nSector, nSectors)) continue;
            sb = std::span<const uint8_t>(copy).subspan(nOff, kSuperBytes);
        }
        CKivExtSuperblock s;
        if (!s.Parse(sb)) continue;
        if (pStats) ++pStats[kStatSuperblocks];
        OnSuperblock(s, nSector, nOff);
    }
}

void CKivExtScanner::OnSuperblock(const CKivExtSuperblock& sb, uint64_t nSector, uint32_t nOffset) {
    const uint32_t z = m_nSectorSize;
    const uint32_t bs = sb.BlockSize();
    // Blocks smaller than the device's sectors cannot be told as clusters of whole sectors.
    if (bs % z) return;
    uint64_t nByte = nSector * z + nOffset;
    uint64_t nBack = sb.SuperByteOffset();
    if (nBack > nByte || (nByte - nBack) % z) return;
    Key k;
    k.nFirstSector = (nByte - nBack) / z;
    k.nBlockSize = bs;
    k.nBlocksCount = sb.m_nBlocksCount;
    k.uuid = sb.m_uuid;
    auto it = m_cands.find(k);
    if (it == m_cands.end()) {
        if (m_cands.size() >= kMaxCandidates) return;
        it = m_cands.emplace(k, Cand{}).first;
    }
    Cand& c = it->second;
    bool bPrimary = sb.m_nGroupNr == 0;
    c.nFlags |= bPrimary ? CKivScanResPartExt::kPrimary : CKivScanResPartExt::kBackup;
    if (!bPrimary) ++c.nBackups;
    if (sb.m_nGroupNr < c.nGroupNr) {
        c.nGroupNr = sb.m_nGroupNr;
        c.nSuperSector = nSector;
        c.nSuperOffset = nOffset;
        c.nKind = sb.Kind();
    }
}

int CKivExtScanner::EnumParts(std::vector<CKivScanResPart*>* pList) {
    if (!pList) return KIV_RETERR(KIV_E_INVALIDARG);
    for (const auto& [k, c] : m_cands) {
        if (k.nFirstSector >= m_nDevSectors) continue;
        auto* p = new CKivScanResPartExt(c.nKind, m_nSectorSize);
        uint32_t nSpc = k.nBlockSize / m_nSectorSize;
        p->m_nSecPerClus = nSpc <= 255 ? static_cast<uint8_t>(nSpc) : 0;
        p->m_nDataStart = k.nFirstSector;
        p->m_nFirstSector = k.nFirstSector;
        // A volume cut by the device's end keeps the part that is there.
        uint64_t nSectors = k.nBlocksCount * nSpc;
        p->m_nSectorCount = std::min(nSectors, m_nDevSectors - k.nFirstSector);
        p->m_nBlockSize = k.nBlockSize;
        p->m_nBlocksCount = k.nBlocksCount;
        p->m_nSuperSector = c.nSuperSector;
        p->m_nSuperOffset = c.nSuperOffset;
        p->m_nBackups = c.nBackups;
        p->m_nEvidenceFlags = c.nFlags;
        p->m_uuid = k.uuid;
        // As for FAT: the primary and the backups each count; a volume known only by backups is
        // still proposed.
        bool bPrimary = c.nFlags & CKivScanResPartExt::kPrimary;
        p->m_nEvidenceC = (bPrimary ? 50 : 10) + (c.nBackups ? 50 : 10);
        p->m_nEvidenceA = std::min<uint32_t>(c.nBackups, 50);
        pList->push_back(p);
    }
    return 0;
}

int CKivExtScanner::IoState(CKivStateIO& io) {
    io.Map(
        m_cands,
        [](CKivStateIO& x, Key& k) { x(k.nFirstSector)(k.nBlockSize)(k.nBlocksCount).Bytes(k.uuid.data(), 16); },
        [](CKivStateIO& x, Cand& c) { x(c.nFlags)(c.nBackups)(c.nKind)(c.nGroupNr)(c.nSuperSector)(c.nSuperOffset); });
    if (io.Loading() && m_cands.size() > kMaxCandidates) io.Fail();
    return io.Ok() ? KIV_OK : KIV_RETERR(KIV_E_IO);
}

bool CKivExtScanner::ReadSuperblock(IKivDevStor* pDev, const CKivScanResPartExt& part, CKivExtSuperblock* pOut) {
    if (!pDev) return false;
    const uint32_t z = pDev->GetSectorSize();
    if (z == 0 || part.m_nSuperOffset >= z) return false;
    uint64_t nSectors = (part.m_nSuperOffset + kSuperBytes + z - 1) / z;
    uint64_t nDev = pDev->GetSectorCount();
    if (part.m_nSuperSector >= nDev || nSectors > nDev - part.m_nSuperSector) return false;
    std::vector<uint8_t> buf(nSectors * z);
    if (!pDev->ReadSectors(buf.data(), part.m_nSuperSector, nSectors)) return false;
    return pOut->Parse(std::span<const uint8_t>(buf).subspan(part.m_nSuperOffset, kSuperBytes)) &&
           pOut->BlockSize() == part.m_nBlockSize && pOut->m_nBlocksCount == part.m_nBlocksCount;
}

int CKivExtScanner::HasTree(CKivScanResPart* pPart, IKivDevStor* pDev) {
    auto* pExt = dynamic_cast<CKivScanResPartExt*>(pPart);
    CKivExtSuperblock sb;
    return pExt && CanHandle(pExt->m_nType) && ReadSuperblock(pDev, *pExt, &sb) ? 1 : 0;
}

IKivFsNode* CKivExtScanner::BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                                      IKivEnumResFilesCallback* pCallback) {
    auto* pExt = dynamic_cast<CKivScanResPartExt*>(pPart);
    if (!pExt || !pDev || !CanHandle(pExt->m_nType)) return nullptr;
    CKivExtTreeBuilder builder(pExt, pDev, m_pRawList, pCallback, nNameBase);
    return KivBuildPumped("CKivExtScanner::BuildTree", [&] { return builder.Build(); });
}
