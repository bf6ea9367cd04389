// Reads the MFT of one chosen NTFS partition and turns its records (in use or deleted) into the
// partition's result tree, with lost folders and the carved files of its free clusters.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"
#include "Model/CKivTreeBuilderBase.h"
#include "Ntfs/KivNtfsFoundRecord.h"
#include "Ntfs/KivNtfsRuns.h"

class CRawFileList;
class CKivNtfsFileRecord;
struct KivNtfsAttr;
class CClusterUseBitMap;

class CKivNtfsTreeBuilder : public CKivTreeBuilderBase {
public:
    CKivNtfsTreeBuilder(CKivScanNTFSPartInfo* pPart, IKivDevStor* pDev, CRawFileList* pRawList);
    ~CKivNtfsTreeBuilder();

    // The records the scan found inside the partition (ascending sectors; borrowed). When neither
    // the MFT nor its mirror can be read, the tree is built from them.
    void SetFoundRecords(std::span<const KivNtfsFoundRecord> records) { m_found = records; }

    // The partition node, or null (no readable MFT and too few records found, nothing found, or
    // cancelled). Runs the work on a worker thread while this thread pumps messages.
    IKivFsNode* Run(uint32_t nNameBase, IKivEnumResFilesCallback* pCallback);

    // Whether Run can yield a tree: the MFT (or its mirror) is readable, or enough of its records
    // were found. Reads only the MFT's first record.
    bool CanBuild();

    // Fewest numbered records found inside a partition that make a tree without its MFT.
    static constexpr size_t kMinFoundRecords = 2;

    // What one base record contributes to the tree.
    struct Entry {
        bool bInUse = false;
        bool bDir = false;
        uint32_t nParent = 0;
        uint64_t nRef = 0;
        std::string name;
        uint64_t nCTime = 0, nMTime = 0, nATime = 0;
        uint64_t nSize = 0;
        uint16_t nAttributes = 0;
        bool bResident = false;
        uint64_t nResidentSector = 0;  // from the partition's base
        uint16_t nResidentOffset = 0;
        std::vector<KivNtfsRun> runs;  // non-resident unnamed $DATA, every extent
        uint64_t nAllocated = 0;
        bool bHasData = false;
        bool bShort = false;    // its runs end before its size: an extent was lost or stale
        // The "$EFS" stream of an encrypted file: in the record, or in clusters.
        bool bEfs = false;
        bool bEfsResident = false;
        uint64_t nEfsSector = 0;  // from the partition's base
        uint16_t nEfsOffset = 0;
        uint64_t nEfsSize = 0;
        std::vector<KivNtfsRun> efsRuns;
    };

private:
    IKivFsNode* Build();
    bool ReadRecordAt(uint64_t nSector, CKivNtfsFileRecord* pRec);
    bool LoadMftRuns(std::vector<KivNtfsRun>* pRuns, uint64_t* pMftBytes);
    bool ReadAllRecords(const std::vector<KivNtfsRun>& runs, uint64_t nMftBytes);
    bool ReadFoundRecords();
    size_t NumberedFoundRecords() const;
    bool ReadRecordAt(uint64_t nSector, uint32_t nBytes, CKivNtfsFileRecord* pRec);
    // nKey: the number the tree knows the record by (its own, unless renumbered).
    void TakeRecord(uint32_t nNumber, const CKivNtfsFileRecord& rec, uint64_t nSector, uint32_t nKey);
    Entry* FindEntry(uint32_t nKey);
    bool ReadAttributeList(const KivNtfsAttr& a, std::vector<uint8_t>* pOut);
    // bReused: a deleted record whose clusters are in use again (its data is another file's).
    IKivFileAttr* MakeAttr(const Entry& e, bool bReused);
    // Clusters in use: those $Bitmap marks, and those the records in use name whatever it says.
    void FillClusterMap(CClusterUseBitMap* pMap);
    // Whether a deleted file's clusters are in use again.
    static bool IsReused(const Entry& e, CClusterUseBitMap* pUsed);
    uint64_t RunBytes(const std::vector<KivNtfsRun>& runs) const;

    CKivScanNTFSPartInfo* m_pPart;
    uint32_t m_nSectorSize = 512;
    uint32_t m_nSecPerClus = 1;
    uint64_t m_nBase = 0;
    uint64_t m_nClusters = 0;        // on the device
    uint64_t m_nVolumeClusters = 0;  // as the volume states; runs may reach this far
    uint32_t m_nRecordBytes = 1024;
    std::string m_strLabel;
    // Only the records that yield an entry are kept, so that the tables grow with what the MFT
    // really holds, never with the size it states.
    std::vector<Entry> m_entries;                    // in the order the records are taken
    std::unordered_map<uint32_t, uint32_t> m_index;  // record key (see TakeRecord) -> position in m_entries
    // $DATA extents held in extension records, by the full record number of the base record they
    // name; each keeps the sequence number of that reference, to tell a stale one.
    struct Extent {
        uint64_t nVcn;
        uint16_t nBaseSeq;
        std::vector<KivNtfsRun> runs;
    };
    std::unordered_map<uint64_t, std::vector<Extent>> m_extents;
    std::vector<KivNtfsRun> m_bitmapRuns;
    uint64_t m_nBitmapBytes = 0;
    std::span<const KivNtfsFoundRecord> m_found;
};
