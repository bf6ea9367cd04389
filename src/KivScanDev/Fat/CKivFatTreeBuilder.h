// Rebuilds the directory tree of one FAT volume: the walk from the root, deleted entries, folders
// reconstructed from the directory sectors the scan recorded, the carved files of the free area.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CKivDoubleFatTable.h"
#include "CKivFatRunBuilder.h"
#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"
#include "Model/CClusterUseBitMap.h"
#include "Model/CKivTreeBuilderBase.h"

class CRawFileList;
class CKivFileAttrFAT;
class CKivFatDirEntry;

// A directory sector seen during the scan: its sector and, for a directory start, the directory's
// own cluster from its "." entry (-1 otherwise).
struct KivFatDirSectorRec {
    uint64_t nSector;
    int64_t nCluster;
};
static_assert(sizeof(KivFatDirSectorRec) == 16);

class CKivFatTreeBuilder : public CKivTreeBuilderBase {
public:
    // Everything is borrowed for the life of the builder; pRawList and pCallback may be null.
    CKivFatTreeBuilder(CKivScanResPartFAT* pPart, IKivDevStor* pDev, const std::vector<KivFatDirSectorRec>* pDirSectors,
                       CRawFileList* pRawList, IKivEnumResFilesCallback* pCallback, uint32_t nNameBase);
    ~CKivFatTreeBuilder();

    // The partition node (owned by the caller), or null when cancelled or the geometry is unusable.
    IKivFsNode* Build();

private:
    struct DirWork {
        uint32_t nCluster;  // 0: the fixed root area of FAT12/16
        bool bOneCluster;   // a lost piece: only this cluster
    };

    bool IsFat32() const;
    uint32_t FatCopies() const;
    // Clusters of a deleted folder whose chain was freed, at most nMax.
    std::vector<uint32_t> DeletedDirClusters(uint32_t nFirst, uint32_t nMax);
    enum class DirPiece { kNone, kGoesOn, kEnds };
    // bFirst: the folder's first cluster (opens with "." and ".."); otherwise a later piece.
    DirPiece ReadDirPiece(uint32_t nCluster, bool bFirst);
    void IndexDirPieces();
    bool RunsPastDeviceEnd(const std::vector<KivDataRun>& runs) const;
    void WalkQueue();
    void WalkDir(IKivFileNode* pDir, const DirWork& work);
    // Handles one entry (not long-name, label or dot) of a directory; pLfnName may be empty.
    void AddEntry(IKivFileNode* pDir, uint32_t nDirCluster, const CKivFatDirEntry& e, const std::string& strName,
                  bool bDirDeleted, bool bRecycle, std::vector<IKivFileNode*>* pRecycleCands);
    // Registers a folder entry found in pDir by its cluster, applying the duplicate rules. Answers
    // the new node to add to pDir, or null when the entry was dropped or merged (pAttr is consumed).
    IKivFileNode* RegisterDir(IKivFileNode* pDir, IKivFileAttr* pAttr, uint32_t nCluster, bool bRecycle);
    void ReconstructDirs();
    void MarkUsed(const std::vector<KivDataRun>& runs);
    // Marks the deleted files whose clusters a live entry holds; their data is another file's.
    void MarkReused();
    // Checks the content of the deleted files and joins those whose rest is found after a gap.
    void CheckDeletedContent();
    void AddRawTree();
    void Tidy();
    size_t ReadNodeData(IKivFileNode* pNode, uint8_t* pBuf, size_t nLen);
    bool ReadSectors(std::vector<uint8_t>* pBuf, uint64_t nFirst, uint64_t nCount);

    CKivScanResPartFAT* m_pPart;
    const std::vector<KivFatDirSectorRec>* m_pDirSectors;

    uint32_t m_nSectorSize = 512;
    uint32_t m_nSecPerClus = 1;
    uint64_t m_nDataStart = 0;
    uint64_t m_nDataClusters = 0;
    bool m_bLabelSet = false;

    CKivDoubleFatTable m_fat;
    std::unique_ptr<CKivFatRunBuilder> m_pRuns;
    IKivFsNode* m_pRoot = nullptr;
    std::unordered_map<uint32_t, IKivFileNode*> m_dirs;  // directory nodes by first cluster (borrowed)
    std::unordered_set<uint32_t> m_dirClusters;          // clusters already read as directory content
    std::unordered_set<uint32_t> m_recycleDirs;          // directories inside recycle bins
    std::deque<DirWork> m_queue;
    CClusterUseBitMap m_used;                            // clusters the entries found hold
    bool m_bUsedMap = false;
    CClusterUseBitMap m_live;                            // clusters of live files and folders
    bool m_bLiveMap = false;
    std::vector<CKivFileAttrFAT*> m_deletedFiles;        // borrowed from their nodes
    std::unordered_set<CKivFileAttrFAT*> m_guessed;      // deleted files whose clusters were taken by guess
    // Clusters where the scan saw directory pieces without "." and "..", and folder starts; sorted.
    std::vector<uint32_t> m_pieceClusters, m_startClusters;
    bool m_bPiecesIndexed = false;
};
