// The ext2/ext3/ext4 scanner: collects the superblocks (the primary at byte 1024 and the backups
// at the start of block groups) during the scan, proposes the volumes they describe, and rebuilds
// the trees of the chosen ones.
#pragma once

#include <array>
#include <map>
#include <span>
#include <vector>

#include "CKivExtSuperblock.h"
#include "Model/CKivFsScannerBase.h"
#include "Storage/KivScanBlock.h"

class CKivStateIO;
class CKivScanResPartExt;

class CKivExtScanner final : public CKivFsScannerBase {
public:
    static constexpr size_t kMaxCandidates = 65536;

    int BeginScan() override;
    int AnalyzeView(const KivScanBlock& block, uint64_t* pStats) override;
    // Zeros hold no superblock.
    int AnalyzeZeros(uint64_t, uint64_t, const KivScanBlock&, uint64_t*) override { return KIV_OK; }
    int EnumParts(std::vector<CKivScanResPart*>* pList) override;
    int GetScannerType() override { return KIV_SCANNER_EXT2; }
    IKivFsNode* BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                          IKivEnumResFilesCallback* pCallback) override;
    int CanHandle(int32_t nType) override;
    // The superblock it was found by still reads and passes.
    int HasTree(CKivScanResPart* pPart, IKivDevStor* pDev) override;

    // Tests the sector nSector; bytes holds it and (when there are any) the sectors after it.
    void AnalyzeSector(std::span<const uint8_t> bytes, uint64_t nSector, uint64_t* pStats);

    // Reads and tests the superblock a partition of this scanner was found by.
    static bool ReadSuperblock(IKivDevStor* pDev, const CKivScanResPartExt& part, CKivExtSuperblock* pOut);

private:
    struct Key {
        uint64_t nFirstSector = 0;
        uint32_t nBlockSize = 0;
        uint64_t nBlocksCount = 0;
        std::array<uint8_t, 16> uuid{};
        auto operator<=>(const Key&) const = default;
    };
    struct Cand {
        uint32_t nFlags = 0;
        uint32_t nBackups = 0;
        int32_t nKind = 0;
        uint32_t nGroupNr = ~0u;  // of the copy kept: the primary, else the lowest group's
        uint64_t nSuperSector = 0;
        uint32_t nSuperOffset = 0;
    };

    int IoState(CKivStateIO& io) override;
    void ClearState() override { m_cands.clear(); }
    void OnSuperblock(const CKivExtSuperblock& sb, uint64_t nSector, uint32_t nOffset);

    std::map<Key, Cand> m_cands;
};
