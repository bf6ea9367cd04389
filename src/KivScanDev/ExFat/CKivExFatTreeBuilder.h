// Rebuilds the tree of one exFAT volume: the walk from the root with deleted entry sets and
// deleted folders, lost folders from the directory sectors the scan saw, and the carved files of
// the clusters no entry claims.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CKivExFatBitmap.h"
#include "CKivExFatRunBuilder.h"
#include "CKivExFatTable.h"
#include "CKivExFatUpcase.h"
#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivExFatScanRecords.h"
#include "KivScanResult.h"
#include "Model/CKivTreeBuilderBase.h"

class CRawFileList;
class CKivExFatEntrySet;

class CKivExFatTreeBuilder : public CKivTreeBuilderBase {
public:
    // The most of one directory that is read (the format allows 256 MiB; real ones are far smaller).
    static constexpr uint64_t kMaxDirBytes = 64u << 20;

    // Everything is borrowed for the life of the builder; pDirSectors, pRawList and pCallback may
    // be null.
    CKivExFatTreeBuilder(CKivScanResPartExFAT* pPart, IKivDevStor* pDev,
                         const std::vector<KivExFatDirSectorRec>* pDirSectors, CRawFileList* pRawList,
                         IKivEnumResFilesCallback* pCallback, uint32_t nNameBase);
    ~CKivExFatTreeBuilder();

    // The partition node (owned by the caller), or null when cancelled or the geometry is unusable.
    IKivFsNode* Build();

    // Entry sets whose stored name hash disagrees with the up-case table (after Build).
    uint64_t HashMismatches() const { return m_nHashMismatch; }

private:
    struct DirWork {
        IKivFileNode* pNode;
        std::vector<uint32_t> clusters;
        uint32_t nFirst;
        bool bDeleted;
    };

    uint64_t ClusterSector(uint32_t c) const { return m_nHeap + uint64_t(c - 2) * m_nSpc; }
    // Reads the clusters one after the other; an unreadable one reads as zeros.
    std::vector<uint8_t> ReadClusters(const std::vector<uint32_t>& clusters);
    std::vector<uint8_t> ReadRuns(const std::vector<KivDataRun>& runs, uint64_t nBytes);
    void LoadFat();
    // The root's own entries: allocation bitmap, up-case table, label.
    void LoadRootEntries(std::span<const uint8_t> root);
    // Clusters of a directory known only by its first cluster: following ones that the scan saw
    // as directory content, as long as the last holds no end mark (or the FAT chain, when it has
    // one). Each is read into pBytes.
    std::vector<uint32_t> GroupFrom(uint32_t c, std::vector<uint8_t>* pBytes);
    void Queue(IKivFileNode* pNode, std::vector<uint32_t> clusters, uint32_t nFirst, bool bDeleted);
    void WalkQueues();
    void WalkDir(const DirWork& w);
    void WalkBytes(IKivFileNode* pDir, std::span<const uint8_t> bytes, uint32_t nDirCluster, bool bDirDeleted);
    void AddEntry(IKivFileNode* pDir, const CKivExFatEntrySet& set, uint32_t nDirCluster, bool bDirDeleted);
    void LostDirs();
    // Checks the content of the deleted files and joins those whose rest is found after a gap.
    void CheckDeletedContent();
    void AddRawTree();

    CKivScanResPartExFAT* m_pPart;
    const std::vector<KivExFatDirSectorRec>* m_pDirSectors;

    uint32_t m_nSectorSize = 512;
    uint32_t m_nSpc = 1;
    uint64_t m_nHeap = 0;
    uint32_t m_nClusters = 0;  // heap clusters on the device
    uint64_t m_nHashMismatch = 0;
    std::string m_strLabel;

    CKivExFatTable m_fat;
    CKivExFatBitmap m_bitmap;
    CKivExFatUpcase m_upcase;
    std::unique_ptr<CKivExFatRunBuilder> m_pRuns;
    IKivFsNode* m_pRoot = nullptr;
    IKivFileNode* m_pLost = nullptr;
    std::unordered_map<uint32_t, IKivFileNode*> m_dirs;  // folder nodes by first cluster (borrowed)
    std::unordered_set<uint32_t> m_claimed;              // clusters read as directory content
    std::unordered_set<uint32_t> m_scanDirs;             // clusters the scan saw directory sectors in
    std::deque<DirWork> m_live, m_deleted;               // folders still to walk, live ones first
    std::vector<KivDataRun> m_used;                      // runs of the entries found
    std::vector<CKivFileAttrExFAT*> m_deletedFiles;      // borrowed from their nodes
};
