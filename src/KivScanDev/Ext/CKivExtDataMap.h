// Where an inode's data lies: its extent tree (of any depth) or its block map (direct, indirect,
// double and triple indirect pointers), turned into data runs in blocks of the volume. On-disk
// pointers are hostile: a tree that loops or points outside the volume, overlapping extents and
// deeper than possible trees are cut where they go wrong, and the map is marked damaged.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

#include "KivScanResult.h"

class CKivExtInode;

struct KivExtExtent {
    uint64_t nLogical;
    uint64_t nPhysical;
    uint64_t nLength;
    bool bUninit;  // allocated but never written: reads as zeros
};

class CKivExtDataMap {
public:
    static constexpr uint32_t kMaxDepth = 5;
    // A bound on the tree and indirect blocks one inode may make us read.
    static constexpr uint64_t kMaxMetaBlocks = 1u << 20;

    // Reads one block of the volume into *pOut (resized to the block size); false when it cannot.
    using ReadBlock = std::function<bool(uint64_t nBlock, std::vector<uint8_t>* pOut)>;

    CKivExtDataMap(uint32_t nBlockSize, uint64_t nBlocksCount, ReadBlock read)
        : m_nBlockSize(nBlockSize), m_nBlocksCount(nBlocksCount), m_read(std::move(read)) {}

    // The extents of the inode's first nLogicalBlocks blocks, ascending and not overlapping. The
    // blocks of the tree or of the indirect pointers read on the way go to *pMeta (may be null).
    std::vector<KivExtExtent> Map(const CKivExtInode& ino, uint64_t nLogicalBlocks, std::vector<uint64_t>* pMeta);
    // Something on the way was wrong (answers for the last Map).
    bool Damaged() const { return m_bDamaged; }

    // The runs of nLogicalBlocks blocks: holes and unwritten extents as sparse runs.
    static std::vector<KivDataRun> ToRuns(const std::vector<KivExtExtent>& extents, uint64_t nLogicalBlocks);

    // Tests an extent-tree node (header 0xF30A, entries within the node's room, the depth expected
    // when nDepth is not ~0u). Answers its entry count, or -1.
    static int CheckNode(const uint8_t* p, size_t n, uint32_t nDepth);

private:
    void Node(const uint8_t* p, size_t n, uint32_t nDepth, uint64_t nLimit);
    void Indirect(uint64_t nBlock, uint32_t nLevel, uint64_t nFirstLogical, uint64_t nLimit);
    void AddExtent(uint64_t nLogical, uint64_t nPhysical, uint64_t nLength, bool bUninit, uint64_t nLimit);
    bool ReadMeta(uint64_t nBlock, std::vector<uint8_t>* pOut);

    uint32_t m_nBlockSize;
    uint64_t m_nBlocksCount;
    ReadBlock m_read;
    bool m_bDamaged = false;
    uint64_t m_nMetaReads = 0;
    std::vector<KivExtExtent> m_out;
    std::vector<uint64_t>* m_pMeta = nullptr;
    std::unordered_set<uint64_t> m_seen;  // tree and indirect blocks read for this inode
};
