// The exFAT scanner: collects boot sectors (with their regions' checksums), FAT starts, up-case
// tables and directory sectors during the scan, proposes the exFAT volumes they describe, and
// rebuilds the trees of the chosen ones.
#pragma once

#include <map>
#include <span>
#include <vector>

#include "CKivExFatBootSector.h"
#include "Model/CKivFsScannerBase.h"

class CKivStateIO;
#include "KivExFatScanRecords.h"

class CKivExFATScanner final : public CKivFsScannerBase {
public:
    static constexpr size_t kMaxCandidates = 65536;
    static constexpr size_t kMaxPendingRegions = 16;

    int BeginScan() override;
    int AnalyzeView(const KivScanBlock& block, uint64_t* pStats) override;
    // Zeros matter only to a boot region whose checksum is being summed.
    int AnalyzeZeros(uint64_t nFirst, uint64_t nEnd, const KivScanBlock& zeros, uint64_t* pStats) override;
    int EnumParts(std::vector<CKivScanResPart*>* pList) override;
    int GetScannerType() override { return KIV_SCANNER_EXFAT; }
    IKivFsNode* BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                          IKivEnumResFilesCallback* pCallback) override;
    int CanHandle(int32_t nType) override { return nType == KIV_FS_EXFAT; }

    // Tests sector nSector, which starts the span; the bytes after its first sector (when there
    // are any) are the sectors that follow it on the device. Sectors come in ascending order.
    void AnalyzeSector(std::span<const uint8_t> bytes, uint64_t nSector, uint64_t* pStats);
    const KivExFatScanRecords& Records() const { return m_rec; }

private:
    // The whole state of the pass (candidates, regions being summed, records).
    int IoState(CKivStateIO& io) override;
    void ClearState() override;

    struct CandInfo {
        uint32_t nFlags = 0;
        uint16_t nVolumeFlags = 0;
        uint32_t nScale = 1;
    };
    // A boot region whose checksum is being summed as its sectors go by.
    struct Pending {
        uint64_t nStart;
        uint64_t nNext;
        uint64_t nSumSector;
        uint64_t nOffset;  // bytes summed
        uint32_t nSum;
    };

    void OnBootSector(const CKivExFatBootSector& bs, uint64_t nSector);
    void AddCandidate(const KivExFatGeometry& g, uint32_t nFlags, const CKivExFatBootSector& bs);
    void FoldPending(std::span<const uint8_t> sector, uint64_t nSector);

    std::map<KivExFatGeometry, CandInfo> m_cands;
    std::vector<Pending> m_pending;
    KivExFatScanRecords m_rec;
};
