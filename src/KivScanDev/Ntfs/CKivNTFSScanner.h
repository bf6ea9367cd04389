// Finds NTFS volumes during the scan (boot sectors, $LogFile restart pages, MFT file records, even
// when the boot sector is gone) and builds the trees of the chosen ones from their MFT.
#pragma once

#include <span>
#include <vector>

#include "Model/CKivFsScannerBase.h"
#include "Ntfs/CKivNtfsCandidateMap.h"
#include "Ntfs/KivNtfsFoundRecord.h"
#include "Ntfs/KivNtfsRuns.h"

class CKivNtfsFileRecord;
class CKivStateIO;

class CKivNTFSScanner : public CKivFsScannerBase {
public:
    CKivNTFSScanner();
    ~CKivNTFSScanner() override;

    int BeginScan() override;
    int EndScan() override;
    int AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) override;
    int AnalyzeView(const KivScanBlock& block, uint64_t* pStats) override;
    // Only a structure carried over from before the zeros can still be found.
    int AnalyzeZeros(uint64_t nFirst, uint64_t nEnd, const KivScanBlock& zeros, uint64_t* pStats) override;
    int EnumParts(std::vector<CKivScanResPart*>* pList) override;
    int GetScannerType() override { return KIV_SCANNER_NTFS; }
    IKivFsNode* BuildTree(CKivScanResPart* pPart, IKivDevStor* pDev, uint32_t nNameBase,
                          IKivEnumResFilesCallback* pCallback) override;
    int CanHandle(int32_t nType) override { return nType == KIV_FS_NTFS; }
    int HasTree(CKivScanResPart* pPart, IKivDevStor* pDev) override;

    using FoundRecord = KivNtfsFoundRecord;
    // A record that maps the MFT or the log ($MFT, $LogFile) with its decoded runs.
    struct MapRecord {
        uint64_t nSector;
        uint32_t nSecPerClus;  // derived from its allocated size; 0 when not derivable
        std::vector<KivNtfsRun> runs;
    };

    const CKivNtfsCandidateMap& Candidates() const { return m_cands; }

private:
    int IoState(CKivStateIO& io) override;
    void ClearState() override;
    void OnUnreadableBlock() override { m_nCarry = 0; }  // nothing straddles an unreadable block
    void TestWindow(const uint8_t* p, size_t nAvail, uint64_t nSector, bool bFullOnly, uint64_t* pFound);
    void OnRecord(const CKivNtfsFileRecord& rec, uint64_t nSector);
    void OnRestartPage(uint64_t nSector);
    void ScoreCandidates();
    uint64_t CountAgreeingRecords(const KivNtfsCandidate& c) const;
    // The records found inside a partition, in ascending sectors.
    std::span<const KivNtfsFoundRecord> RecordsInside(const CKivScanResPart& part) const;

    std::vector<uint8_t> m_buf;  // carry-over area followed by the start of the block after it
    size_t m_nCarry = 0;         // bytes of the previous block kept in front
    uint64_t m_nCarryFirst = 0;  // sector of the first carried byte

    CKivNtfsCandidateMap m_cands;
    std::vector<FoundRecord> m_records;  // ascending sectors
    std::vector<uint64_t> m_restartPages;
    std::vector<MapRecord> m_mftMaps;
    std::vector<MapRecord> m_logMaps;
};
