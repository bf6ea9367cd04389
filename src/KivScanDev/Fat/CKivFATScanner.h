// The FAT scanner: collects boot sectors, FAT copies and directory sectors during the scan,
// proposes the FAT volumes they describe, and rebuilds the trees of the chosen ones.
#pragma once

#include <map>
#include <set>
#include <span>
#include <vector>

#include "CKivFatBootSector.h"
#include "CKivFatTreeBuilder.h"
#include "Model/CKivFsScannerBase.h"

class CKivStateIO;

class CKivFATScanner final : public CKivFsScannerBase {
public:
    // Evidence flags of a candidate.
    enum : uint32_t {
        kBoot12 = 0x01,
        kBoot16 = 0x02,
        kBoot32 = 0x04,
        kBoot32Backup = 0x08,
        kDirConfirmed = 0x10,
        kFat1Found = 0x40,
        kFat1Usable = 0x80,
        kFat2Found = 0x100,
        kFat2Usable = 0x200,
    };
    // Bounds that keep hostile media from exhausting memory.
    static constexpr size_t kMaxCandidates = 65536;
    static constexpr size_t kMaxDirSectors = 8u << 20;

    int BeginScan() override { return 0; }
    int AnalyzeView(const KivScanBlock& block, uint64_t* pStats) override;
    // A sector of zeros says nothing to this scanner.
    int AnalyzeZeros(uint64_t, uint64_t, const KivScanBlock&, uint64_t*) override { return KIV_OK; }
    int EnumParts(std::vector<CKivScanResPart*>* pList) override;
    int GetScannerType() override { return KIV_SCANNER_FAT; }
    IKivFsNode* BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                          IKivEnumResFilesCallback* pCallback) override;
    int CanHandle(int32_t nType) override { return nType >= KIV_FS_FAT12 && nType <= KIV_FS_FAT32; }
    // Every FAT partition proposed has evidence behind it (a boot sector with its table, or
    // directories); it has a tree when its data area lies on the device.
    int HasTree(CKivScanResPart* pPart, IKivDevStor* pDev) override {
        return pPart && pDev && pPart->m_nDataStart < pDev->GetSectorCount();
    }

    // Tests one sector already in memory (sector number nSector of the storage).
    void AnalyzeSector(std::span<const uint8_t> sector, uint64_t nSector, uint64_t* pStats);
    const std::vector<KivFatDirSectorRec>& GetDirSectors() const { return m_dirSectors; }

private:
    // The whole state of the pass (candidates, FAT copies, directory sectors).
    int IoState(CKivStateIO& io) override;
    void ClearState() override;

    struct CandInfo {
        uint32_t nFlags = 0;
        uint64_t nEvidence = 0;
    };
    using CandMap = std::map<KivFatGeometry, CandInfo>;

    CandMap::iterator AddCandidate(const KivFatGeometry& g, uint32_t nFlags);
    void MarkFatCopy(CandMap::iterator it, uint64_t nSector);
    void OnFatCopy(uint64_t nSector);
    bool InferGeometry(uint64_t nSector, uint32_t nCluster);
    void AddDirSector(uint64_t nSector, int64_t nCluster);
    void NoteForeignSectorSize(std::span<const uint8_t> sector, uint32_t nBytes, uint64_t* pStats);

    CandMap m_cands;
    std::multimap<std::pair<uint64_t, uint32_t>, KivFatGeometry> m_byDataStart;  // (data start, cluster size)
    std::multimap<uint64_t, KivFatGeometry> m_byFatStart;  // first and second copy positions
    std::set<uint64_t> m_fatCopies;
    std::vector<KivFatDirSectorRec> m_dirSectors;
};
