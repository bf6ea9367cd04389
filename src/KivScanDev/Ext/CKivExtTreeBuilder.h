// Rebuilds the tree of one ext2/ext3/ext4 volume: the group descriptors, then the walk from the
// root directory through the inodes (extent trees, block maps, inline data), with the deleted
// entries that a grown rec_len hid, and the carved files of the blocks no file holds.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CKivExtDataMap.h"
#include "CKivExtDirEntries.h"
#include "CKivExtInode.h"
#include "CKivExtSuperblock.h"
#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"
#include "Model/CKivTreeBuilderBase.h"

class CRawFileList;
class CKivExtJournal;
class CKivScanResPartExt;
class CKivFileAttrExt;

class CKivExtTreeBuilder : public CKivTreeBuilderBase {
public:
    // The most of one directory that is read (real ones are far smaller).
    static constexpr uint64_t kMaxDirBytes = 256u << 20;
    static constexpr size_t kInodeCacheBlocks = 256;

    // Everything is borrowed for the life of the builder; pRawList and pCallback may be null.
    CKivExtTreeBuilder(CKivScanResPartExt* pPart, IKivDevStor* pDev, CRawFileList* pRawList,
                       IKivEnumResFilesCallback* pCallback, uint32_t nNameBase);
    ~CKivExtTreeBuilder();

    // The partition node (owned by the caller), or null when cancelled or the volume is unusable.
    IKivFsNode* Build();
    // Inodes and folder blocks whose checksums failed (after Build).
    uint64_t BadChecksums() const { return m_nBadSums; }
    // Deleted files whose data was placed through an older copy of their inode in the journal.
    uint64_t FromJournal() const { return m_nFromJournal; }

private:
    struct Group {
        uint64_t nBlockBitmap = 0;
        uint64_t nInodeBitmap = 0;
        uint64_t nInodeTable = 0;
        uint16_t nFlags = 0;
        uint32_t nUnused = 0;  // inodes at the table's end never used (with group checksums)
    };
    // A deleted file whose inode lost its map, waiting for an older copy from the journal.
    struct Pending {
        CKivFileAttrExt* pAttr;  // borrowed from its node in the tree
        IKivFileNode* pNode;     // likewise
        uint32_t nInode;
        uint32_t nGeneration;
        uint16_t nType;
    };
    // One block of a directory: as it is now, or an older copy the journal holds.
    struct DirBlock {
        std::vector<uint8_t> bytes;
        uint64_t nLogical;
        bool bCopy;
    };
    struct DirWork {
        IKivFileNode* pNode;
        uint32_t nInode;
        CKivExtInode ino;
        bool bDeleted;
    };

    bool ReadBlock(uint64_t nBlock, std::vector<uint8_t>* pOut);
    bool LoadGroups();
    void LoadBlockBitmaps();
    bool BlockInUse(uint64_t nBlock) const;
    void MarkUsed(uint64_t nBlock, uint64_t nCount);
    // false when the inode cannot be read (its table block is unreadable or outside the volume).
    bool ReadInode(uint32_t nInode, CKivExtInode* pOut);
    // Where inode nInode lies: its inode-table block and the byte offset in it; false when its
    // group has no table (or none written yet).
    bool InodePlace(uint32_t nInode, uint64_t* pBlock, size_t* pOffset) const;
    // The directory's bytes, block by block (holes left out); inline directories as one piece.
    // bSkipUsed: leave out blocks the bitmaps give to someone (a deleted folder's former blocks).
    // After them, the journal's older copies of its blocks that are still this directory's: ext4
    // wipes a deleted entry in place, so only those copies still name it.
    std::vector<DirBlock> DirBlocks(const CKivExtInode& ino, uint32_t nInode, bool bSkipUsed);
    // Whether an older copy of logical block nLogical is this directory's (its checksum, or its
    // "." entry) and not a block the directory had before it was reused.
    bool CopyIsDirs(const std::vector<uint8_t>& b, const CKivExtInode& ino, uint32_t nInode, uint64_t nLogical) const;
    void WalkQueue();
    void WalkDir(const DirWork& w);
    void AddEntry(IKivFileNode* pDir, const KivExtDirEntry& e, bool bDirDeleted);
    // Runs or held bytes of a file or link inode into pAttr; answers false when it has no data
    // place at all.
    void SetData(CKivFileAttrExt* pAttr, const CKivExtInode& ino, uint32_t nInode, bool bDeleted);
    // Data of a deleted inode from ino (a copy from the journal or the inode itself): runs or held
    // bytes, and the damage its blocks show (reused by a live file, a broken map). False when ino
    // says nothing of where its data lay.
    bool SetDeletedData(CKivFileAttrExt* pAttr, const CKivExtInode& ino);
    // The journal's committed copies of metadata blocks, indexed before the walk.
    void LoadJournal();
    // The newest journal copy of each pending inode that still has its map; deleted folders placed
    // so are walked, and what they hold is placed in turn.
    void PlaceFromJournal();
    // Of the copies of an inode-table block (newest first), the newest of inode nInode (at
    // nOffset) that was in use then and is deleted now, of the same generation and with a map.
    bool JournalCopy(uint32_t nInode, size_t nOffset, const std::vector<std::vector<uint8_t>>& copies,
                     const CKivExtInode& now, CKivExtInode* pOut) const;
    // Deleted files and folders that only the journal knows and no entry names go to the lost
    // folder as "#<inode>", folders first so that what they held is shown inside them.
    void UnnamedFromJournal();
    IKivFileNode* LostDir();
    // Inodes in use that no folder names (a folder entry lost, a file deleted while open) go to
    // the lost folder as "#<inode>", folders with what they hold.
    void LostInodes();
    void MarkReached(uint32_t nInode);
    bool Reached(uint32_t nInode) const;
    // The parent a folder's ".." names; 0 when it cannot be read.
    uint32_t ParentOf(const CKivExtInode& ino);
    void AddRawTree();

    CKivScanResPartExt* m_pPart;

    CKivExtSuperblock m_sb;
    uint32_t m_nSectorSize = 512;
    uint32_t m_nSpc = 1;
    uint32_t m_nBlockSize = 1024;
    uint64_t m_nFirst = 0;
    uint64_t m_nBlocksOnDevice = 0;  // blocks of the volume the device holds
    uint64_t m_nDamagedInodes = 0;
    uint64_t m_nBadSums = 0;
    uint64_t m_nFromJournal = 0;
    std::vector<Pending> m_pending;
    uint64_t m_nPendingTotal = 0;
    std::unique_ptr<CKivExtJournal> m_pJournal;  // null when the volume has none to read
    std::unordered_set<uint32_t> m_deletedNamed;  // deleted inodes already in the tree
    std::string m_strLabel;

    std::vector<Group> m_groups;
    std::vector<uint64_t> m_used;  // one bit per block: allocated in the block bitmaps
    bool m_bUsedLoaded = false;
    std::unique_ptr<CKivExtDataMap> m_pMap;
    std::unique_ptr<CKivExtDirEntries> m_pEntries;
    std::unordered_map<uint64_t, std::vector<uint8_t>> m_inodeBlocks;  // inode-table blocks read
    IKivFsNode* m_pRoot = nullptr;
    std::unordered_set<uint32_t> m_dirs;  // directory inodes already in the tree
    std::vector<uint64_t> m_reached;      // one bit per inode: named by an entry of the tree
    IKivFileNode* m_pLost = nullptr;      // borrowed from the tree
    std::deque<DirWork> m_live, m_deleted;
};
